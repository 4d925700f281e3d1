"""Closing ends what waits on the phone at once, and the interpreter ends cleanly with threads still
waiting in the phone's calls."""
import os
import subprocess
import sys
import threading
import time

import pytest

import panelgrab

def in_thread(work):
    """Runs work() on a thread; returns the thread and a list that receives its outcome."""
    outcome = []

    def run():
        try:
            outcome.append(work())
        except BaseException as error:  # noqa: BLE001 - handed to the test
            outcome.append(error)

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    return thread, outcome


@pytest.mark.parametrize("port, block, wait, ended", [
    # An iteration ends as iterations do: StopIteration, not an error.
    ("sim", lambda phone: phone.key_events(), lambda phone, events: list(events), lambda outcome: outcome == []),
    # A live view of a still screen: after the opening full read, which one of the two takes, nothing comes.
    ("sim", lambda phone: phone.live(), lambda phone, view: list(view), lambda outcome: len(outcome) <= 1),
    # An exchange with a phone that answered the probe and the switch-on of key reporting, then fell
    # silent; the second thread's waits for the first's.
    ("sim:--fault=stall-after=31", lambda phone: phone.key_events(), lambda phone, events: phone.model(),
     lambda outcome: isinstance(outcome, ValueError) and "closed" in str(outcome)),
], ids=["key events", "live view", "exchange"])
def test_close_ends_the_waits_of_other_threads_and_its_own(port, block, wait, ended):
    phone = panelgrab.open(port, fast_timing=port == "sim")
    with block(phone) as events:
        waiters = [in_thread(lambda: wait(phone, events)) for _ in range(2)]
        time.sleep(0.2)
        assert all(thread.is_alive() for thread, _ in waiters)
        phone.close()
        for thread, outcome in waiters:
            thread.join(5)
            assert not thread.is_alive()
            assert ended(outcome[0]), outcome
        with pytest.raises(StopIteration):
            next(events)
    assert phone.closed


def test_close_then_next_on_one_thread_stops_at_once():
    phone = panelgrab.open("sim:--key-events=5,1;5,0", fast_timing=True)
    with phone.key_events() as events:
        phone.close()  # events that came before are dropped with the phone
        assert list(events) == []
        assert events.take(3, timeout=60) == []
    with pytest.raises(ValueError, match="is closed"):
        phone.model()


def test_the_interpreter_ends_cleanly_with_daemon_threads_in_calls():
    script = os.path.join(os.path.dirname(__file__), "daemon_exit.py")
    runs = [(mode, close) for mode in ("listen", "model", "live") for close in ("close", "open")] * 4
    for batch in range(0, len(runs), 4):
        started = [(run, subprocess.Popen([sys.executable, script, *run], stdout=subprocess.PIPE,
                                          stderr=subprocess.PIPE, text=True))
                   for run in runs[batch:batch + 4]]
        for run, process in started:
            out, err = process.communicate(timeout=60)
            assert (process.returncode, out, err) == (0, "exit\n", ""), run
