"""The README's example, on the simulated phone and through panelgrab.connect(): a phone of a lab
server (panelgrab-server, started here with two simulated phones) through the same Phone API. The
server's tests are skipped unless PANELGRAB_SERVER_PROGRAM names the program."""
import os
import pathlib
import re
import sys
import time

import pytest

import panelgrab

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "server"))
from lab_server_process import lab_server, wait_for  # noqa: E402 - the server's own tests start it alike

README = ROOT / "README.md"
REAL_PORT = 'panelgrab.open("/dev/ttyACM0", baud=115200)'


@pytest.fixture(scope="module")
def server_url():
    if not os.environ.get("PANELGRAB_SERVER_PROGRAM"):
        pytest.skip("PANELGRAB_SERVER_PROGRAM does not name panelgrab-server")
    with lab_server(["a=sim", "b=sim"]) as url:
        yield url


@pytest.mark.parametrize("opening", ['panelgrab.open("sim")', 'panelgrab.connect("{server_url}", "a")'],
                         ids=["simulated phone", "lab server"])
def test_readme_example_runs_as_written(opening, request, tmp_path, monkeypatch):
    examples = [block for block in re.findall(r"```python\n(.*?)```", README.read_text(), re.S)
                if REAL_PORT in block]
    assert len(examples) == 1
    if "server_url" in opening:
        opening = opening.format(server_url=request.getfixturevalue("server_url"))
    monkeypatch.chdir(tmp_path)
    namespace = {}
    exec(compile(examples[0].replace(REAL_PORT, opening), str(README), "exec"), namespace)
    assert namespace["phone"].closed and (tmp_path / "home.png").is_file()


def test_grab_is_the_phones_picture(server_url):
    with panelgrab.connect(server_url, "b") as remote, panelgrab.open("sim", fast_timing=True) as local:
        assert remote.grab().compare(local.grab()).matches  # pictures of two sizes never match
        assert [(d.number, d.width, d.height) for d in remote.displays()] == [(0, 176, 220)]


def test_lock_keeps_others_keys_out_until_the_block_ends(server_url):
    holder, other = panelgrab.connect(server_url, "a"), panelgrab.connect(server_url, "a")
    with holder.lock(expires_s=1):
        holder.press("1")
        time.sleep(1.3)  # beyond the lifetime: held only because it is renewed
        with pytest.raises(panelgrab.PhoneError, match="lock"):
            other.press("1")
        with pytest.raises(panelgrab.PhoneError):
            with other.lock():
                pass
    other.press("1")


def test_record_writes_the_servers_recording(server_url, tmp_path):
    with panelgrab.connect(server_url, "b") as phone:
        with phone.record(str(tmp_path / "flow.png"), scale=2) as recording:
            with pytest.raises(panelgrab.PhoneError, match="runs already"):
                phone.record(str(tmp_path / "other.png")).__enter__()
            wait_for("a frame", lambda: recording.frames >= 1, 60)
        data = (tmp_path / "flow.png").read_bytes()
        assert data.startswith(b"\x89PNG") and b"acTL" in data


def test_failures_raise_the_modules_errors(server_url):
    with pytest.raises(panelgrab.PortError, match="no phone"):
        panelgrab.connect(server_url, "nobody")
    with pytest.raises(panelgrab.PortError, match="cannot be reached"):
        panelgrab.connect("http://127.0.0.1:9", "a")
    phone = panelgrab.connect(server_url, "a")
    with pytest.raises(ValueError, match="keypad"):
        phone.press('1"\r')
    with pytest.raises(panelgrab.PhoneError, match="not available"):
        phone.send("AT\r")
    with pytest.raises(panelgrab.PictureError):
        phone.grab().region_checksum((0, 0, 1, 1))


def test_pytest_plugin_uses_the_server_phone(server_url, pytester):
    pytester.makepyfile("""
        import panelgrab

        def test_model(phone):
            assert isinstance(phone, panelgrab.RemotePhone)
            assert phone.model() == "P200"
    """)
    result = pytester.runpytest_subprocess("-p", "panelgrab.pytest_plugin", "--panelgrab-server", server_url,
                                           "--panelgrab-phone", "b")
    result.assert_outcomes(passed=1)
