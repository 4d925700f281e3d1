"""Ends the interpreter while a daemon thread waits in a call of the phone: `listen` in a key event
iteration, `model` in an exchange with a phone that stopped answering, `live` in a live view's
iteration over a still screen. With `close`, the phone is closed first. Must exit with status 0 and
print "exit", never abort."""
import sys
import threading
import time

import panelgrab

mode, close = sys.argv[1], len(sys.argv) > 2 and sys.argv[2] == "close"
# The probe and the switch-on of key reporting are answered, then the phone falls silent; a live
# view needs a phone that answers.
phone = panelgrab.open("sim" if mode == "live" else "sim:--fault=stall-after=31")
started = threading.Event()


def listen():
    with phone.key_events() as events:
        started.set()
        for _ in events:
            pass


def model():
    started.set()
    try:
        phone.model()
    except ValueError:  # closed under it
        pass


def live():
    with phone.live() as view:
        for _ in view:
            started.set()


threading.Thread(target={"listen": listen, "model": model, "live": live}[mode], daemon=True).start()
started.wait()
time.sleep(0.1)
if close:
    phone.close()
print("exit", flush=True)
