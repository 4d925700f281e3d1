"""The same failure gives the same words in every front end: panelgrab-cli's message on stderr, the
window's message (its status line, and the message box a run nobody watches prints) and the Python
exception's str() name the port, the operation and the reason alike (each front end names its own
tools in advice), and each front end reacts by the failure's kind (exit code, exception class).

usage: PANELGRAB_CLI=path/to/panelgrab-cli [PANELGRAB_WINDOW=path/to/panelgrab] PYTHONPATH=...
       python3 -m pytest THIS_FILE
"""
import os
import re
import subprocess
import tempfile

import pytest

import panelgrab

CLI = os.environ["PANELGRAB_CLI"]
WINDOW = os.environ.get("PANELGRAB_WINDOW")

# How the command line names its tools in advice, and how the Python module names them.
TOOL_NAMES = [("panelgrab-cli ports", "panelgrab.ports()"), ("--baud", "baud=..."), ("--force", "force=True")]
# How the window names them (it has no way to open a port that another program holds).
WINDOW_TOOL_NAMES = [("the port list", "panelgrab.ports()"), ("the baud list", "baud=...")]


def comparable(text):
    """The message with what differs from run to run made equal: the simulated phone's terminal and
    how far a cut-off read came."""
    text = re.sub(r"/dev/pts/\d+", "/dev/pts/N", text)
    return re.sub(r"the read ended after \d+ of", "the read ended after N of", text)


def cli_message(port, command):
    """panelgrab-cli's exit code and its last stderr line, without the program's name and with the
    Python module's tool names."""
    run = subprocess.run([CLI, "--fast-timing", "--port", port] + command, capture_output=True, text=True,
                         timeout=60, check=False)
    line = run.stderr.strip().splitlines()[-1]
    assert line.startswith("panelgrab-cli: "), run.stderr
    line = line[len("panelgrab-cli: "):]
    for cli_name, python_name in TOOL_NAMES:
        line = line.replace(cli_name, python_name)
    return run.returncode, line


def window_message(port, steps):
    """The window's last message (or, where it shows none, its status line) after the autopilot's
    `steps`, with the Python module's tool names."""
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen",
                       PANELGRAB_AUTOPILOT=",".join(["port:" + port] + steps + ["status", "quit"]))
    run = subprocess.run([WINDOW], capture_output=True, text=True, timeout=120, env=environment, check=False)
    lines = [line for line in run.stderr.splitlines() if line.startswith("panelgrab: ")]
    assert lines, run.stderr
    messages = [line for line in lines if not line.startswith("panelgrab: status: ")]
    line = (messages or lines)[-1][len("panelgrab: "):].removeprefix("status: ")
    for window_name, python_name in WINDOW_TOOL_NAMES:
        line = line.replace(window_name, python_name)
    return line


def python_message(port, call):
    """The exception the Python module raises for the same work, and its str()."""
    with pytest.raises(panelgrab.Error) as raised, panelgrab.open(port, fast_timing=True) as phone:
        call(phone)
    return type(raised.value), str(raised.value)


OUTPUT = os.path.join(tempfile.gettempdir(), f"panelgrab-same-words-{os.getpid()}.bmp")

# The window's steps for the same work, and whether its message is the same in every word (it has no
# checksum; it leaves a display too large to read out of its list, and says why in its own frame).
CASES = [
    # failure,              port,                            command line,                             Python call,                                    exit code, exception,                     words, window
    ("missing device", "/dev/panelgrab-no-such-port", ["model"], None, 3, panelgrab.PortError,
     ["Unable to open com port", "(no such device)", "panelgrab.ports()"], (["connect"], True)),
    ("silent phone", "sim:--fault=silent", ["model"], None, 3, panelgrab.PhoneNotResponding,
     ["Phone is not responding", "(baud=...)"], (["connect"], True)),
    ("refused command", "sim:--fault=cme-errors", ["checksum", "--region", "0,0,999,999"],
     lambda phone: phone.checksum((0, 0, 999, 999)), 1, panelgrab.PhoneError,
     ["checksum failed: ", "(+CME ERROR: 100)"], None),
    ("refused key text", "sim", ["keys", 'a"b'], lambda phone: phone.press('a"b'), 1, panelgrab.PhoneError,
     ["pressing keys failed: ", "the key text holds"], None),
    ("too-large display", "sim:--fault=huge-display", ["grab", "--background", "-o", OUTPUT],
     lambda phone: phone.grab(), 1, panelgrab.PhoneError, ["The phone reported a display too large to read."],
     (["connect"], False)),
    ("phone gone", "sim:--fault=hangup-after=5000", ["grab", "--background", "-o", OUTPUT],
     lambda phone: phone.grab(), 1, panelgrab.PortError,
     ["the read ended after N of 220 lines: ", "device gone", "check the cable"], (["connect", "read"], True)),
]


@pytest.mark.parametrize("failure, port, command, call, exit_code, error, words, window", CASES,
                         ids=[c[0] for c in CASES])
def test_same_failure_same_words(failure, port, command, call, exit_code, error, words, window):
    code, cli_text = cli_message(port, command)
    error_type, python_text = python_message(port, call or (lambda phone: None))
    assert (code, error_type) == (exit_code, error), failure
    assert comparable(cli_text) == comparable(python_text)
    for word in words:
        assert word in comparable(python_text)
    assert not os.path.exists(OUTPUT)
    if window is None or WINDOW is None:
        return
    steps, same_words = window
    window_text = comparable(window_message(port, steps))
    if same_words:
        assert window_text == comparable(python_text)
    for word in words:
        assert word in window_text


def test_a_port_another_program_holds_is_named_alike_and_opened_by_force():
    with panelgrab.SimulatedPhone() as sim, open(sim.port, "rb") as port:
        holder = subprocess.Popen(["sleep", "30"], stdin=port)
        try:
            code, cli_text = cli_message(sim.port, ["model"])
            error_type, python_text = python_message(sim.port, lambda phone: None)
            assert (code, error_type) == (3, panelgrab.PortError)
            assert cli_text == python_text
            assert f"{sim.port} is in use by sleep (pid {holder.pid}). Close it there, or open it anyway with " \
                   "force=True" in python_text
            if WINDOW is not None:  # the window cannot share the port: it says only what it can do
                assert window_message(sim.port, ["connect"]) == \
                    f"{sim.port}: {sim.port} is in use by sleep (pid {holder.pid}). Close it there."
            forced = subprocess.run([CLI, "--fast-timing", "--port", sim.port, "--force", "model"],
                                    capture_output=True, text=True, timeout=60, check=False)
            assert (forced.returncode, forced.stdout) == (0, "P200\n")
            with panelgrab.open(sim.port, fast_timing=True, force=True) as phone:
                assert phone.model() == "P200"
        finally:
            holder.kill()
            holder.wait()
