#!/usr/bin/env python3
"""The lab server's page in a real browser (headless Chromium through chromedriver): the wall shows
both phones' screens pixel for pixel as a grab of the same phone, the animated phone's changes keep
arriving, a key pressed on the page's keypad reaches the phone, a lock held elsewhere disables
the keypad, the Record button records the phone and downloads the file, and a peer server's phone
shows on the wall.

usage: browser_check.py PANELGRAB_SERVER_PROGRAM
Exits 77 (skipped) when Selenium, Chromium or chromedriver is missing.
"""
import base64
import glob
import io
import json
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

try:
    from PIL import Image
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    MISSING = None
except ImportError as missing:
    MISSING = missing

SKIPPED = 77
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--window-size=1200,900"]


def wait_for(what, condition, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def request(url, method="GET", body=None, headers=None):
    data = None if body is None else json.dumps(body).encode()
    sent = {"Content-Type": "application/json"} if data is not None else {}
    sent.update(headers or {})
    with urllib.request.urlopen(urllib.request.Request(url, data=data, method=method, headers=sent),
                                timeout=10) as reply:
        return reply.read()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_server(program, phones, port=0, peers=()):
    arguments = [program, "--listen", "127.0.0.1:" + str(port)]
    for phone in phones:
        arguments += ["--phone", phone]
    for peer in peers:
        arguments += ["--peer", peer]
    server = subprocess.Popen(arguments, stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline()
    if "listening on " not in line:
        server.kill()
        raise AssertionError("the server did not start: " + line)
    url = line.split("listening on ", 1)[1].strip()
    wait_for("the phones ready", lambda: all(
        phone["state"] == "ready" for phone in json.loads(request(url + "api/phones"))), 20)
    return server, url


def canvas_picture(driver, selector):
    data_url = driver.execute_script(
        "const c = document.querySelector(arguments[0]); return c && c.width ? c.toDataURL('image/png') : null;",
        selector)
    if not data_url:
        return None
    return Image.open(io.BytesIO(base64.b64decode(data_url.split(",", 1)[1]))).convert("RGB")


def grab(url, name, exact):
    png = request(url + "api/phones/" + name + "/screen.png" + ("?exact=1" if exact else ""))
    return Image.open(io.BytesIO(png)).convert("RGB")


def wait_until_canvas_is_grab(driver, selector, url, name, exact):
    def same():
        shown = canvas_picture(driver, selector)
        return shown is not None and shown.tobytes() == grab(url, name, exact).tobytes()
    wait_for(selector + " to equal the grab of " + url + " " + name, same, 15)


def check_wall_is_pixel_exact(driver, url):
    driver.get(url)
    for name, exact in (("a", True), ("b", False)):
        wait_until_canvas_is_grab(driver, '.card[data-name="' + name + '"] canvas', url, name, exact)
    print("ok: the wall shows both phones pixel-exact")


def check_changes_keep_arriving(driver):
    # The animated phone's clock changes once a second: each change must reach the page within
    # that second, so new pictures are drawn in every second of the watch.
    moments = []
    deadline = time.monotonic() + 4.5
    last = None
    while time.monotonic() < deadline:
        drawn = driver.execute_script("return window.panelgrab.views.get('b').lastFrameAt;")
        if drawn != last:
            if not moments or drawn - moments[-1] > 300:
                moments.append(drawn)
            last = drawn
        time.sleep(0.05)
    gaps = [later - earlier for earlier, later in zip(moments, moments[1:])]
    assert len(moments) >= 4 and max(gaps) < 1300, "changes drawn at " + repr(moments)
    print("ok: the animated phone's changes reached the page every second")


def check_keypad_and_lock(driver, url):
    driver.get(url + "#phone=a")
    button = wait_for("the keypad", lambda: driver.find_elements(By.CSS_SELECTOR, '#keypad button[data-key="5"]'))
    wait_for("the live view to connect", lambda: driver.execute_script(
        "return window.panelgrab.views.get('a') && window.panelgrab.views.get('a').frames > 0;"))
    button[0].click()
    wait_for("the phone's key event on the page",
             lambda: "5 pressed" in driver.find_element(By.ID, "key-events").text)
    print("ok: a key pressed on the page reached the phone")

    lock = json.loads(request(url + "api/phones/a/lock", "POST", {"expires_s": 60}))["lock"]
    wait_for("the keypad to say the phone is locked",
             lambda: "Locked" in driver.find_element(By.ID, "lock-state").text and
             not driver.find_element(By.CSS_SELECTOR, '#keypad button[data-key="5"]').is_enabled())
    request(url + "api/phones/a/lock", "DELETE", headers={"X-Panelgrab-Lock": lock})
    wait_for("the keypad to be free again",
             lambda: driver.find_element(By.CSS_SELECTOR, '#keypad button[data-key="5"]').is_enabled())
    print("ok: a held lock shows on the keypad")


def check_record_button(driver, url, downloads):
    # Recording from the phone's own view: the button starts one, and stopping downloads the file.
    driver.get(url + "#phone=a")
    record = wait_for("the record button", lambda: driver.find_elements(By.ID, "record"))[0]
    wait_for("the button to know there is no recording", lambda: record.text == "Record")
    record.click()
    wait_for("a recording with a frame", lambda: json.loads(request(url + "api/phones/a/record")).get("frames", 0) >= 1)
    wait_for("the button to offer the stop", lambda: record.text == "Stop recording")
    record.click()
    saved = wait_for("the recording's download", lambda: glob.glob(downloads + "/a-*.png"))
    with open(saved[0], "rb") as file:
        data = file.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and b"acTL" in data, "not an animated PNG: " + saved[0]
    assert not json.loads(request(url + "api/phones/a/record"))["recorded"]
    print("ok: the page's Record button recorded the phone and downloaded the file")


def check_peer_on_the_wall(driver, url, peer_url):
    # The peer's phone on this server's wall, watched straight from the peer.
    driver.get(url)
    wait_until_canvas_is_grab(driver, '.card[data-peer="' + peer_url + '"][data-name="c"] canvas', peer_url, "c",
                              False)
    print("ok: the wall shows a peer's phone pixel-exact")


def check_double_scale(driver, url):
    driver.get(url)
    wait_for("the wall", lambda: canvas_picture(driver, '.card[data-name="a"] canvas'))
    driver.find_element(By.CSS_SELECTOR, 'input[name="scale"][value="2"]').click()
    width = driver.execute_script("return document.querySelector('.card canvas').getBoundingClientRect().width;")
    assert width == 352, width
    print("ok: 2x shows every phone pixel as two")


def main():
    if MISSING:
        print("skipped:", MISSING)
        return SKIPPED
    chromium, driver_program = shutil.which("chromium"), shutil.which("chromedriver")
    if not chromium or not driver_program:
        print("skipped: chromium or chromedriver is missing (scripts/install-deps)")
        return SKIPPED
    port, peer_port = free_port(), free_port()
    url, peer_url = "http://127.0.0.1:%d/" % port, "http://127.0.0.1:%d/" % peer_port
    server, url = start_server(sys.argv[1], ["a=sim", "b=sim:--animate,--baud=921600@921600"], port, [peer_url])
    peer, peer_url = start_server(sys.argv[1], ["c=sim"], peer_port, [url])
    with tempfile.TemporaryDirectory(prefix="panelgrab-browser-") as profile:
        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + profile]:
            options.add_argument(flag)
        downloads = profile + "/downloads"
        options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                                  "download.prompt_for_download": False})
        driver = webdriver.Chrome(service=Service(executable_path=driver_program), options=options)
        try:
            check_wall_is_pixel_exact(driver, url)
            check_changes_keep_arriving(driver)
            check_double_scale(driver, url)
            check_keypad_and_lock(driver, url)
            check_record_button(driver, url, downloads)
            check_peer_on_the_wall(driver, url, peer_url)
        finally:
            driver.quit()
            for process in (server, peer):
                process.terminate()
                process.wait(10)
    return 0


if __name__ == "__main__":
    sys.exit(main())
