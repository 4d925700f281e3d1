"""A phone on a lab server (panelgrab-server), with the Phone API of a phone on a port: made by
panelgrab.connect(). Only the standard library talks to the server (HTTP and its WebSocket)."""
import json
import os
import socket
import struct
import threading
import time
import zlib
import urllib.error
import urllib.parse
import urllib.request
from types import TracebackType
from typing import Any, Callable, Dict, Iterator, List, Optional, Tuple, Type

from . import _native
from ._websocket import BINARY, TEXT, WebSocket, WebSocketError
from .errors import Error, PhoneError, PortError

_FAILED = 5  # the phone library's result for a refused or failed operation


class RemoteDisplay:
    """One display of the phone, as the server lists it."""

    def __init__(self, entry: Dict[str, Any]) -> None:
        self.number: int = entry["number"]
        self.width: int = entry["width"]
        self.height: int = entry["height"]
        self.bits_per_pixel: int = entry["bits_per_pixel"]

    def __repr__(self) -> str:
        return f"<panelgrab.RemoteDisplay {self.number}: {self.width}x{self.height}x{self.bits_per_pixel}>"


class RemoteKeyEvent:
    """A key of the phone going down (pressed) or up."""

    def __init__(self, key: str, pressed: bool) -> None:
        self.key = key
        self.pressed = pressed

    def __repr__(self) -> str:
        return f"<panelgrab.KeyEvent {self.key} {'pressed' if self.pressed else 'released'}>"


class RemoteKeyEvents:
    """The phone's key events inside a ``with`` block, through the server's live view (see
    Phone.key_events). The server has the phone report them while anyone listens."""

    def __init__(self, phone: "RemotePhone", timeout: Optional[float]) -> None:
        self._phone = phone
        self._timeout = timeout
        self._socket: Optional[WebSocket] = None

    def __enter__(self) -> "RemoteKeyEvents":
        self._socket = self._phone._live_socket(rows=False)
        try:
            self._socket.receive(self._phone._timeout)  # the greeting: from here on every event comes
        except (WebSocketError, OSError) as error:
            self._socket.close()
            raise PortError(f"{self._phone.port}: the live view did not answer: {error}") from None
        return self

    def __exit__(self, *exc_info: Any) -> None:
        if self._socket:
            self._socket.close()
            self._socket = None

    def _next(self, timeout: Optional[float]) -> Optional[RemoteKeyEvent]:
        if self._socket is None:
            raise ValueError("key events are read inside the with block")
        deadline = None if timeout is None else time.monotonic() + timeout
        while True:
            left = None if deadline is None else max(0.0, deadline - time.monotonic())
            try:
                kind, payload = self._socket.receive(left)
            except socket.timeout:
                return None
            except (WebSocketError, OSError) as error:
                raise PortError(f"{self._phone.port}: the live view ended: {error}") from None
            if kind != TEXT:
                continue
            message = json.loads(payload)
            if message.get("type") == "key":
                return RemoteKeyEvent(message["key"], bool(message["pressed"]))
            if message.get("type") == "state" and message.get("state") == "gone":
                raise PortError(f"{self._phone.port}: {message.get('reason') or 'the phone is gone'}")

    def __iter__(self) -> Iterator[RemoteKeyEvent]:
        return self

    def __next__(self) -> RemoteKeyEvent:
        event = self._next(self._timeout)
        if event is None:
            raise StopIteration
        return event

    def take(self, count: int, timeout: Optional[float] = None) -> List[RemoteKeyEvent]:
        """Up to `count` events, waiting at most `timeout` seconds in all (None: the timeout given to
        key_events())."""
        limit = self._timeout if timeout is None else timeout
        deadline = None if limit is None else time.monotonic() + limit
        events: List[RemoteKeyEvent] = []
        while len(events) < count:
            left = None if deadline is None else max(0.0, deadline - time.monotonic())
            event = self._next(left)
            if event is None:
                break
            events.append(event)
        return events


def _png(width: int, height: int, rgb: bytes) -> bytes:
    """The RGB rows as a PNG file: what the module's Screen is made from."""
    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    stride = width * 3
    raw = b"".join(b"\0" + rgb[y * stride:(y + 1) * stride] for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


class RemoteLiveView:
    """The server's live view of the phone's first display inside a ``with`` block (see
    Phone.live): iterating yields (picture, regions) for each change the server sends, the regions
    as (left, top, right, bottom) boxes, bounds inclusive; it ends when no change came within the
    timeout. A phone that goes away raises PortError."""

    def __init__(self, phone: "RemotePhone", timeout: Optional[float]) -> None:
        self._phone = phone
        self._timeout = timeout
        self._socket: Optional[WebSocket] = None
        self._width = 0
        self._height = 0
        self._rgb = bytearray()

    def __enter__(self) -> "RemoteLiveView":
        self._socket = self._phone._live_socket(rows=True)
        return self

    def __exit__(self, *exc_info: Any) -> None:
        if self._socket:
            self._socket.close()
            self._socket = None

    def __iter__(self) -> Iterator[Any]:
        return self

    def _apply(self, payload: bytes) -> Tuple[int, int, int, int]:
        _kind, width, height, first, count = struct.unpack_from("<BxHHHH", payload)
        if (width, height) != (self._width, self._height):
            self._width, self._height = width, height
            self._rgb = bytearray(width * height * 3)
        start = first * width * 3
        rows = payload[12:]
        self._rgb[start:start + len(rows)] = rows
        return (0, first, width - 1, first + count - 1)

    def __next__(self) -> Any:
        if self._socket is None:
            raise ValueError("the live view is read inside the with block")
        while True:
            try:
                kind, payload = self._socket.receive(self._timeout)
            except socket.timeout:
                raise StopIteration from None
            except (WebSocketError, OSError) as error:
                raise PortError(f"{self._phone.port}: the live view ended: {error}") from None
            if kind == BINARY and len(payload) >= 12:
                region = self._apply(payload)
                screen = _native.screen_from_png(_png(self._width, self._height, bytes(self._rgb)))
                return screen, [region]
            if kind == TEXT:
                message = json.loads(payload)
                if message.get("type") == "state" and message.get("state") == "gone":
                    raise PortError(f"{self._phone.port}: {message.get('reason') or 'the phone is gone'}")


class RemoteLock:
    """Control of the phone reserved for this client while the ``with`` block runs: renewed in the
    background before it expires, freed at the end. Others still watch; their presses are refused."""

    def __init__(self, phone: "RemotePhone", expires_s: int) -> None:
        self._phone = phone
        self._expires_s = expires_s
        self._stop = threading.Event()
        self._renewer: Optional[threading.Thread] = None
        self.id: Optional[str] = None

    def __enter__(self) -> "RemoteLock":
        self.id = self._phone._acquire_lock(self._expires_s, None)
        self._renewer = threading.Thread(target=self._renew, name="panelgrab-lock", daemon=True)
        self._renewer.start()
        return self

    def _renew(self) -> None:
        while not self._stop.wait(self._expires_s / 3):
            try:
                self._phone._acquire_lock(self._expires_s, self.id)
            except Error:
                return

    def __exit__(self, *exc_info: Any) -> None:
        self._stop.set()
        if self._renewer:
            self._renewer.join()
        self._phone._release_lock(self.id)


class RemoteRecording:
    """The phone's screen recorded by the server while the ``with`` block runs, written to `path`
    as an animated PNG at its end (docs/LAB-SERVER.md: one recording a phone, bounded)."""

    def __init__(self, phone: "RemotePhone", path: str, scale: int) -> None:
        self._phone = phone
        self._path = path
        self._scale = scale

    def __enter__(self) -> "RemoteRecording":
        self._phone._request("POST", self._phone._phone_path("record"), {"scale": self._scale})
        return self

    @property
    def frames(self) -> int:
        """The frames recorded so far."""
        return int(json.loads(self._phone._request("GET", self._phone._phone_path("record"))).get("frames", 0))

    def __exit__(self, *exc_info: Any) -> None:
        apng = self._phone._request("DELETE", self._phone._phone_path("record"))
        with open(self._path, "wb") as file:
            file.write(apng)


class RemotePhone:
    """A phone on a lab server, made by panelgrab.connect(). The calls are those of Phone; what
    needs the line itself (send, checksum, gui_object) stays with the server's own clients."""

    def __init__(self, url: str, name: str, token: Optional[str], timeout: float) -> None:
        self._url = url.rstrip("/") + "/"
        self._name = name
        self._token = token
        self._timeout = timeout
        self._lock_id: Optional[str] = None
        self._closed = False
        self._entry()  # the phone must exist

    def __enter__(self) -> "RemotePhone":
        return self

    def __exit__(self, exc_type: Optional[Type[BaseException]], exc: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<panelgrab.RemotePhone {self.port}{' closed' if self._closed else ''}>"

    @property
    def port(self) -> str:
        return f"{self._name} on {self._url}"

    @property
    def closed(self) -> bool:
        return self._closed

    def close(self) -> None:
        self._closed = True

    def _request(self, method: str, path: str, body: Optional[Dict[str, Any]] = None,
                 lock: Optional[str] = None) -> bytes:
        if self._closed:
            raise ValueError(f"{self.port}: the phone was closed")
        headers = {"Content-Type": "application/json"}
        if self._token:
            headers["Authorization"] = "Bearer " + self._token
        held = lock if lock is not None else self._lock_id
        if held:
            headers["X-Panelgrab-Lock"] = held
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self._url + path.lstrip("/"), data=data, method=method, headers=headers)
        try:
            with urllib.request.urlopen(request, timeout=self._timeout) as reply:
                return reply.read()
        except urllib.error.HTTPError as failure:
            raise self._error(failure) from None
        except (urllib.error.URLError, OSError) as failure:
            raise PortError(f"{self.port}: the lab server cannot be reached: {failure}") from None

    def _error(self, failure: urllib.error.HTTPError) -> Exception:
        try:
            text = json.loads(failure.read()).get("error", failure.reason)
        except ValueError:
            text = str(failure.reason)
        message = f"{self.port}: {text}"
        if failure.code == 400:
            return ValueError(message)
        if failure.code in (401, 404, 503):
            return PortError(message)
        return PhoneError(message, _FAILED)

    def _phone_path(self, action: str) -> str:
        return "api/phones/" + urllib.parse.quote(self._name, safe="") + "/" + action

    def _entry(self) -> Dict[str, Any]:
        for entry in json.loads(self._request("GET", "api/phones")):
            if entry["name"] == self._name:
                return entry
        raise PortError(f"{self.port}: the server has no phone of that name")

    def _ready_entry(self) -> Dict[str, Any]:
        entry = self._entry()
        if entry["state"] != "ready":
            reason = f": {entry['reason']}" if entry.get("reason") else ""
            raise PortError(f"{self.port}: the phone is {entry['state']}{reason}")
        return entry

    def model(self) -> str:
        """The phone's model, as the server read it when the phone was opened."""
        return self._ready_entry()["model"]

    def displays(self) -> List[RemoteDisplay]:
        return [RemoteDisplay(entry) for entry in self._ready_entry()["displays"]]

    def grab(self, display: int = 0, progress: Optional[Callable[[int, int], Any]] = None) -> "_native.Screen":
        """Reads the whole picture of display `display` on the server and returns it as a Screen.
        `progress` is called once, progress(lines, lines), when it has arrived."""
        png = self._request("GET", self._phone_path(f"screen.png?display={int(display)}&exact=1"))
        screen = _native.screen_from_png(png)
        if progress is not None:
            progress(screen.height, screen.height)
        return screen

    def press(self, keys: str, press_ms: Optional[int] = None, pause_ms: Optional[int] = None) -> None:
        """Presses the keys (AT+CKPD on the server's side), e.g. "123#"; see Phone.press."""
        if (press_ms is None) != (pause_ms is None):
            raise ValueError("press_ms and pause_ms are given together")
        body: Dict[str, Any] = {"keys": keys}
        if press_ms is not None:
            body.update(press_ms=int(press_ms), pause_ms=int(pause_ms or 0))
        self._request("POST", self._phone_path("keys"), body)

    def key_events(self, timeout: Optional[float] = None) -> RemoteKeyEvents:
        """The phone's key events as a context manager and iterator; see Phone.key_events."""
        return RemoteKeyEvents(self, timeout)

    def live(self, display: int = 0, *, timeout: Optional[float] = None) -> RemoteLiveView:
        """The server's live view of the first display: see RemoteLiveView."""
        if display != 0:
            raise IndexError("the server's live view shows display 0 only")
        return RemoteLiveView(self, timeout)

    def lock(self, expires_s: int = 60) -> RemoteLock:
        """Reserves the phone's keys for this client inside a ``with`` block (see RemoteLock).
        Raises PhoneError while another client holds the lock."""
        return RemoteLock(self, expires_s)

    def record(self, path: str, scale: int = 1) -> RemoteRecording:
        """Records the phone's screen on the server while the ``with`` block runs, into `path`."""
        return RemoteRecording(self, path, scale)

    def _acquire_lock(self, expires_s: int, renewing: Optional[str]) -> str:
        reply = self._request("POST", self._phone_path("lock"), {"expires_s": expires_s}, lock=renewing or "")
        self._lock_id = json.loads(reply)["lock"]
        return self._lock_id

    def _release_lock(self, lock_id: Optional[str]) -> None:
        try:
            self._request("DELETE", self._phone_path("lock"), lock=lock_id or "")
        except Error:
            pass  # it expired or the server went: nothing is held either way
        finally:
            self._lock_id = None

    def _live_socket(self, rows: bool) -> WebSocket:
        base = urllib.parse.urlsplit(self._url)
        url = f"ws://{base.netloc}/{self._phone_path('live')}" + ("" if rows else "?rows=0")
        headers = {"Authorization": "Bearer " + self._token} if self._token else {}
        try:
            return WebSocket(url, headers, self._timeout)
        except (WebSocketError, OSError) as failure:
            raise PortError(f"{self.port}: the live view cannot be opened: {failure}") from None

    def _unavailable(self, what: str) -> None:
        raise PhoneError(f"{self.port}: {what} is not available through the lab server", _FAILED)

    def send(self, text: str) -> str:
        self._unavailable("sending raw commands")
        return ""

    def checksum(self, region: Any, display: int = 0) -> int:
        self._unavailable("the phone's checksum")
        return 0

    def gui_object(self) -> Dict[str, str]:
        self._unavailable("the GUI object")
        return {}


def connect(url: str, name: str, *, token: Optional[str] = None, timeout: float = 30.0) -> RemotePhone:
    """The phone `name` on the lab server at `url` ("http://lab1:8080"), with the Phone API.

    `token` is the server's token when it has one (default: the PANELGRAB_TOKEN environment
    variable). Raises PortError when the server cannot be reached or has no such phone."""
    return RemotePhone(url, name, token if token is not None else os.environ.get("PANELGRAB_TOKEN"), timeout)
