"""Panelgrab for test scripts: the phone library, the picture comparison and the simulated phone.

    import panelgrab

    with panelgrab.open("sim") as phone:          # or panelgrab.open("/dev/ttyACM0", baud=115200)
        assert phone.model() == "P200"
        screen = phone.grab(display=0, progress=print)
        screen.save("home.png")
        result = phone.grab().compare("home.png", ignore=[(0, 0, 175, 15)])
        assert result.matches, result.summary
"""
import atexit as _atexit
import os as _os
import weakref as _weakref
from typing import Any, Callable, List, Optional, TextIO, Union

from ._native import (Comparison, Display, KeyEvent, KeyEvents, Phone, PortInfo, Screen)
from . import _native
from .errors import Error, PhoneError, PhoneNotResponding, PictureError, PortError
from .remote import RemotePhone, connect

__all__ = [
    "open", "connect", "RemotePhone", "ports", "SimulatedPhone", "Phone", "Screen", "Comparison", "Display", "KeyEvent", "KeyEvents",
    "PortInfo", "Error", "PortError", "PhoneNotResponding", "PhoneError", "PictureError",
]

Trace = Union[None, Callable[[str, str], Any], TextIO]

# Phones still open when the interpreter ends are closed first, while their worker threads may still
# take the GIL to hand a trace over.
_open_phones: "_weakref.WeakSet[Phone]" = _weakref.WeakSet()


def _close_open_phones() -> None:
    for phone in list(_open_phones):
        phone.close()


_atexit.register(_close_open_phones)


def _trace_callable(trace: Trace) -> Optional[Callable[[str, str], Any]]:
    if trace is None or callable(trace):
        return trace
    if hasattr(trace, "write"):
        stream = trace

        def write(direction: str, text: str) -> None:
            stream.write(f"{direction} {text!r}\n")

        return write
    raise TypeError("trace is a callable (direction, text) or a stream with write(), not " + repr(trace))


def open(port: str, baud: Union[int, str] = 115200, *, init_commands: Union[bool, str] = False,
         trace: Trace = None, fast_timing: bool = False,
         record_session: Optional[Union[str, "_os.PathLike[str]"]] = None, force: bool = False) -> Phone:
    r"""Opens the phone on `port` and returns a Phone (a context manager that closes it).

    `port` is a serial port ("/dev/ttyACM0"; a bare name means /dev/NAME, "COM1" /dev/ttyS0), a
    network port ("tcp://host:port", "rfc2217://host:port"), or "sim" / "sim:OPTIONS" for the
    built-in simulated phone with panelgrab-phonesim's options joined by commas
    ("sim:--dialect=two-displays,--baud=115200"). Opening proves that a phone answers.

    `init_commands` then sends initialisation commands, each of which must be answered OK: a text
    gives the command lines ("ATE1\r\nAT+CMEE=1\r\n"); True sends the empty list, a lone CR.

    `trace` receives the traffic: a callable trace(direction, text) with direction ">" (sent), "<"
    (received), "!" (unsolicited report taken) or "-" (report nobody listened for), or a stream
    such as sys.stderr. It is called from the library's threads too, and must not use the phone.

    `fast_timing` shrinks the port's waits about a hundredfold: for tests against the simulated
    phone only.

    `baud="auto"` finds the rate: 921600 down to 1200 baud are tried with "AT" (about a second
    each), and the first that answers OK is used (phone.baud tells which); PhoneNotResponding
    ("no rate answered") when none does, after about 13 s at most.

    `record_session` names a file to record the session in: every command sent, answer received
    and report sent unasked, with times, in the text format panelgrab-phonesim --replay plays back
    (docs/SESSIONS.md in the sources).

    A local port that another program (ser2net, a terminal program) holds open is refused with
    PortError naming it ("/dev/ttyUSB0 is in use by ser2net (pid 612)"); `force` opens it anyway.

    Raises PortError (the port could not be opened: reason and what to do), PhoneNotResponding,
    PhoneError (an initialisation command was refused), or ValueError for a port name or simulator
    option that cannot be used.
    """
    phone = _native.open(port, baud, init_commands=init_commands, trace=_trace_callable(trace),
                         fast_timing=fast_timing,
                         record_session=None if record_session is None else _os.fspath(record_session),
                         force=force)
    _open_phones.add(phone)
    return phone


def ports() -> List[PortInfo]:
    """The machine's serial ports, never opening one. str() of each is the line the command line's
    `panelgrab-cli ports` prints: the path, then what is known (vid:pid, maker, product, serial)."""
    return _native.ports()


def _option(name: str, value: Any) -> List[str]:
    if value is None or value is False:
        return []
    if value is True:
        return [f"--{name}"]
    return [f"--{name}={value}"]


def _display_text(display: Any) -> str:
    if isinstance(display, str):
        return display
    width, height, bits = display
    return f"{width}x{height}:{bits}"


class SimulatedPhone:
    """The simulated phone serving a pseudo-terminal, so that scripts can be tried without a phone.

        with panelgrab.SimulatedPhone(display=(128, 160, 16), animate="clock") as sim:
            with panelgrab.open(sim.port) as phone:
                ...

    The keywords are panelgrab-phonesim's options (`panelgrab-phonesim --help` describes them):
    dialect ("long", "long-range", "two-displays", "short", "per-line"), display ((width, height,
    bits) or "WxH:BPP"; a list of two for two-displays), model, picture (a BMP file shown instead of
    the test card), watch_picture, baud (pacing; 0 unpaced), chunk, echo, key_events ("5,1;5,0"),
    key_event_pause (ms), unsolicited, gui_object, animate (True, "clock", "highlight" or
    "clock,highlight"), animate_period (ms), fault ("silent", "error-bulk", "hangup-after=N",
    "stall-after=N", "garbage", "endless-line", "nul-bytes", "huge-display"). Any other option of
    the simulator can be given in `options` as it is written on its command line.
    """

    def __init__(self, *, dialect: Optional[str] = None, display: Any = None, model: Optional[str] = None,
                 picture: Optional[str] = None, watch_picture: bool = False, baud: Optional[int] = None,
                 chunk: Optional[int] = None, echo: Optional[bool] = None, key_events: Optional[str] = None,
                 key_event_pause: Optional[int] = None, unsolicited: bool = False,
                 gui_object: Optional[str] = None, animate: Union[bool, str] = False,
                 animate_period: Optional[int] = None, fault: Optional[str] = None,
                 options: Optional[List[str]] = None) -> None:
        args: List[str] = []
        args += _option("dialect", dialect)
        if display is not None:
            many = isinstance(display, list)
            for one in (display if many else [display]):
                args += _option("display", _display_text(one))
        args += _option("model", model)
        args += _option("picture", None if picture is None else str(picture))
        args += _option("watch-picture", watch_picture)
        args += _option("baud", baud)
        args += _option("chunk", chunk)
        if echo is not None:
            args.append("--echo" if echo else "--no-echo")
        args += _option("key-events", key_events)
        args += _option("key-event-pause", key_event_pause)
        args += _option("unsolicited", unsolicited)
        args += _option("gui-object", gui_object)
        args += _option("animate", animate)
        args += _option("animate-period", animate_period)
        args += _option("fault", fault)
        args += list(options or [])
        self._simulator = _native.Simulator(args)

    @property
    def port(self) -> str:
        """The pseudo-terminal's path: what panelgrab.open() (or any other client) opens."""
        return self._simulator.port

    def close(self) -> None:
        """Stops the simulated phone; a phone opened on it fails from then on."""
        self._simulator.stop()

    def __enter__(self) -> "SimulatedPhone":
        return self

    def __exit__(self, *exc_info: Any) -> None:
        self.close()

    def __repr__(self) -> str:
        state = self.port if self._simulator.running else "stopped"
        return f"<panelgrab.SimulatedPhone {state}>"
