"""Blocking calls release the GIL, and Ctrl-C ends a grab or an event wait cleanly."""
import concurrent.futures
import itertools
import os
import signal
import threading
import time

import pytest

import panelgrab

# A paced phone whose whole picture takes about half a second: 12 lines of 256 characters at 57600 baud.
PACED = "--display=32x12:16,--baud=57600"


def interrupt_after(seconds):
    timer = threading.Timer(seconds, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    return timer


def interrupted(call, after):
    """Calls call() with Ctrl-C coming `after` seconds later: it must end with KeyboardInterrupt, within
    two seconds of the signal."""
    timer = interrupt_after(after)
    started = time.monotonic()
    try:
        with pytest.raises(KeyboardInterrupt):
            call()
    finally:
        timer.cancel()
    assert time.monotonic() - started < after + 2


def test_ctrl_c_stops_a_grab_and_the_phone_carries_on(open_sim):
    phone = open_sim(PACED)
    progress = []
    timer = None

    def follow(lines, total):
        nonlocal timer
        progress.append((lines, total))
        if lines > 0 and timer is None:
            timer = interrupt_after(0.05)  # arrives while the grab waits for lines

    try:
        with pytest.raises(KeyboardInterrupt):
            phone.grab(progress=follow)
    finally:
        timer.cancel()
    assert 0 < progress[-1][0] < 12 == progress[-1][1]
    # The port was closed to end the transfer; the next call opens it again once the phone is done.
    assert phone.model() == "P200"
    assert (phone.grab().height, phone.model()) == (12, "P200")


def test_ctrl_c_stops_an_event_wait(phone):
    with phone.key_events() as events:
        interrupted(lambda: events.take(1, timeout=60), 0.1)
    with phone.key_events(timeout=2) as events:
        phone.press("7")
        assert [e.key for e in events.take(2)] == ["7", "7"]


def test_ctrl_c_ends_a_wait_for_the_phone_another_thread_uses():
    # Answers the probe and the switch-on of key reporting, then nothing: every later call waits.
    phone = panelgrab.open("sim:--fault=stall-after=31")
    thread = threading.Thread(target=lambda: pytest.raises(ValueError, phone.model), daemon=True)
    thread.start()
    time.sleep(0.2)
    interrupted(phone.displays, 0.1)  # waits for the other thread's model()
    phone.close()
    thread.join(5)


def test_an_exception_from_progress_ends_the_read(open_sim):
    phone = open_sim(PACED)

    def give_up(lines, total):
        if lines > 2:
            raise RuntimeError("enough")

    with pytest.raises(RuntimeError, match="enough"):
        phone.grab(progress=give_up)
    with pytest.raises(RuntimeError, match="busy with an operation on this thread"):
        phone.grab(progress=lambda lines, total: phone.model())
    assert phone.grab().width == 32


def test_other_threads_run_during_a_grab(open_sim):
    phone = open_sim(PACED)
    stop = threading.Event()
    ticks = itertools.count()
    counter = threading.Thread(target=lambda: any(stop.is_set() for _ in ticks))  # counts until stopped
    counter.start()
    try:
        counts = []
        phone.grab(progress=lambda lines, total: counts.append(next(ticks)))
    finally:
        stop.set()
        counter.join()
    # The counter went on between the progress calls, while the grab waited for the paced lines.
    assert len(counts) > 3 and counts[-1] - counts[0] > 10000


def test_threads_share_a_phone(open_sim):
    phone = open_sim("--dialect=two-displays")
    with concurrent.futures.ThreadPoolExecutor(2) as pool:  # a call's exception comes back from map()
        seen = list(pool.map(lambda position: {(phone.grab(position).width, phone.model()) for _ in range(5)},
                             (0, 1)))
    assert seen == [{(176, "P200")}, {(96, "P200")}]
