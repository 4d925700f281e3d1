"""The lab server's page in a real browser (headless Chromium through chromedriver): the wall shows
both phones' screens pixel for pixel as a grab of the same phone, the animated phone's changes keep
arriving, a key pressed on the page's keypad reaches the phone, a lock held elsewhere disables
the keypad, the Record button records the phone and downloads the file, and a peer server's phone
shows on the wall.

usage: PANELGRAB_SERVER_PROGRAM=path/to/panelgrab-server python3 -m pytest THIS_FILE
Skipped when Selenium, Chromium or chromedriver is missing.
"""
import base64
import glob
import io
import json
import shutil
import socket
import time

import pytest
from lab_server_process import lab_server, request, wait_for

Image = pytest.importorskip("PIL.Image")
webdriver = pytest.importorskip("selenium.webdriver")
from selenium.webdriver.chrome.service import Service  # noqa: E402 - only once Selenium is known
from selenium.webdriver.common.by import By  # noqa: E402

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--window-size=1200,900"]
KEY_5 = '#keypad button[data-key="5"]'


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@pytest.fixture(scope="module")
def urls():
    """This server's URL (phones a and b, the latter animated) and its peer's (phone c)."""
    port, peer_port = free_port(), free_port()
    with lab_server(["a=sim", "b=sim:--animate,--baud=921600@921600"], port, ["http://127.0.0.1:%d/" % peer_port]) \
            as url, lab_server(["c=sim"], peer_port, [url]) as peer_url:
        yield url, peer_url


@pytest.fixture(scope="module")
def downloads(tmp_path_factory):
    return str(tmp_path_factory.mktemp("browser"))


@pytest.fixture(scope="module")
def driver(downloads):
    chromium, driver_program = shutil.which("chromium"), shutil.which("chromedriver")
    if not chromium or not driver_program:
        pytest.skip("chromium or chromedriver is missing (scripts/install-deps)")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + downloads + "/profile"]:
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    browser = webdriver.Chrome(service=Service(executable_path=driver_program), options=options)
    yield browser
    browser.quit()


def wait_until_canvas_is_grab(driver, selector, url, name, exact):
    def same():
        data_url = driver.execute_script(
            "const c = document.querySelector(arguments[0]); return c && c.width ? c.toDataURL('image/png') : '';",
            selector)
        png = request(url + "api/phones/" + name + "/screen.png" + ("?exact=1" if exact else ""))
        return data_url and rgb(base64.b64decode(data_url.split(",", 1)[1])) == rgb(png)
    wait_for(selector + " to equal the grab of " + url + " " + name, same, 15)


def rgb(png):
    return Image.open(io.BytesIO(png)).convert("RGB").tobytes()


def test_the_wall_shows_every_phone_pixel_exact_and_at_double_scale(driver, urls):
    url, peer_url = urls
    driver.get(url)
    for name, exact in (("a", True), ("b", False)):
        wait_until_canvas_is_grab(driver, '.card[data-name="' + name + '"] canvas', url, name, exact)
    # The peer's phone, watched straight from the peer.
    wait_until_canvas_is_grab(driver, '.card[data-peer="' + peer_url + '"][data-name="c"] canvas', peer_url, "c",
                              False)
    # At 2x every phone pixel shows as two.
    driver.find_element(By.CSS_SELECTOR, 'input[name="scale"][value="2"]').click()
    assert driver.execute_script(
        "return document.querySelector('.card canvas').getBoundingClientRect().width;") == 352


def test_the_animated_phones_changes_keep_arriving(driver, urls):
    # The animated phone's clock changes once a second: each change must reach the page within
    # that second, so new pictures are drawn in every second of the watch.
    driver.get(urls[0])
    wait_for("the animated phone's view", lambda: driver.execute_script(
        "return window.panelgrab.views.get('b') && window.panelgrab.views.get('b').frames > 0;"))
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


def test_the_phone_view_presses_keys_shows_a_lock_and_records(driver, urls, downloads):
    url = urls[0]
    driver.get(url + "#phone=a")
    button = wait_for("the keypad", lambda: driver.find_elements(By.CSS_SELECTOR, KEY_5))
    wait_for("the live view to connect", lambda: driver.execute_script(
        "return window.panelgrab.views.get('a') && window.panelgrab.views.get('a').frames > 0;"))
    button[0].click()
    wait_for("the phone's key event on the page",
             lambda: "5 pressed" in driver.find_element(By.ID, "key-events").text)

    lock = json.loads(request(url + "api/phones/a/lock", "POST", {"expires_s": 60}))["lock"]
    wait_for("the keypad to say the phone is locked",
             lambda: "Locked" in driver.find_element(By.ID, "lock-state").text and
             not driver.find_element(By.CSS_SELECTOR, KEY_5).is_enabled())
    request(url + "api/phones/a/lock", "DELETE", headers={"X-Panelgrab-Lock": lock})
    wait_for("the keypad to be free again", lambda: driver.find_element(By.CSS_SELECTOR, KEY_5).is_enabled())

    # The Record button starts a recording, and stopping it downloads the file.
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
