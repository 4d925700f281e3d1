"""panelgrab-server as a process, for the tests that talk to it over HTTP: started on a loopback
port from PANELGRAB_SERVER_PROGRAM, used once its phones are ready, stopped after."""
import contextlib
import json
import os
import subprocess
import time
import urllib.request


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


@contextlib.contextmanager
def lab_server(phones, port=0, peers=()):
    """The server on 127.0.0.1:`port` with `phones` ("NAME=PORT") and `peers` (URLs); yields its URL
    once every phone is ready."""
    arguments = [os.environ["PANELGRAB_SERVER_PROGRAM"], "--listen", "127.0.0.1:%d" % port]
    for phone in phones:
        arguments += ["--phone", phone]
    for peer in peers:
        arguments += ["--peer", peer]
    server = subprocess.Popen(arguments, stdout=subprocess.PIPE, text=True)
    try:
        line = server.stdout.readline()
        assert "listening on " in line, "the server did not start: " + line
        url = line.split("listening on ", 1)[1].strip()
        wait_for("the phones ready", lambda: all(
            phone["state"] == "ready" for phone in json.loads(request(url + "api/phones"))), 20)
        yield url
    finally:
        server.terminate()
        server.wait(10)
