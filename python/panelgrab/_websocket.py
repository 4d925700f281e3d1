"""A small WebSocket client on the standard library, enough for a lab server's live view: the
opening handshake, unmasked frames from the server, masked frames to it, pings answered."""
import base64
import hashlib
import os
import socket
import struct
import urllib.parse
from typing import Dict, Optional, Tuple

_GUID = b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11"
_MAX_MESSAGE = 64 << 20
TEXT, BINARY, CLOSE, PING, PONG = 0x1, 0x2, 0x8, 0x9, 0xA


class WebSocketError(OSError):
    """The connection failed, was refused, or broke the protocol."""

    def __init__(self, message: str, status: int = 0) -> None:
        super().__init__(message)
        self.status = status


class WebSocket:
    def __init__(self, url: str, headers: Optional[Dict[str, str]] = None, timeout: float = 10.0) -> None:
        parts = urllib.parse.urlsplit(url)
        if parts.scheme != "ws":
            raise ValueError("only ws:// URLs are supported, not " + url)
        host, port = parts.hostname or "127.0.0.1", parts.port or 80
        self._socket = socket.create_connection((host, port), timeout=timeout)
        self._buffer = b""
        self._handshake(parts, host, port, headers or {})

    def _handshake(self, parts: urllib.parse.SplitResult, host: str, port: int, headers: Dict[str, str]) -> None:
        key = base64.b64encode(os.urandom(16)).decode()
        target = (parts.path or "/") + ("?" + parts.query if parts.query else "")
        lines = [f"GET {target} HTTP/1.1", f"Host: {host}:{port}", "Upgrade: websocket", "Connection: Upgrade",
                 f"Sec-WebSocket-Key: {key}", "Sec-WebSocket-Version: 13"]
        lines += [f"{name}: {value}" for name, value in headers.items()]
        self._socket.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        while b"\r\n\r\n" not in self._buffer:
            self._fill()
        head, self._buffer = self._buffer.split(b"\r\n\r\n", 1)
        status_line, *fields = head.decode("latin-1").split("\r\n")
        status = int(status_line.split()[1])
        if status != 101:
            self._socket.close()
            raise WebSocketError(f"the server refused the live view ({status_line})", status)
        accept = base64.b64encode(hashlib.sha1(key.encode() + _GUID).digest()).decode()
        answers = {name.strip().lower(): value.strip() for name, _, value in (f.partition(":") for f in fields)}
        if answers.get("sec-websocket-accept") != accept:
            self._socket.close()
            raise WebSocketError("the server's handshake answer is wrong")

    def _fill(self) -> None:
        chunk = self._socket.recv(65536)
        if not chunk:
            raise WebSocketError("the server closed the connection")
        self._buffer += chunk

    def _parse(self) -> Optional[Tuple[bool, int, bytes]]:
        """The first whole frame of the buffer, taken from it; None while it is incomplete, so that a
        timeout while waiting for the rest loses nothing."""
        data = self._buffer
        if len(data) < 2:
            return None
        length, at = data[1] & 0x7F, 2
        if length == 126:
            if len(data) < 4:
                return None
            length, at = struct.unpack(">H", data[2:4])[0], 4
        elif length == 127:
            if len(data) < 10:
                return None
            length, at = struct.unpack(">Q", data[2:10])[0], 10
        if length > _MAX_MESSAGE:
            raise WebSocketError("the server sent a message too large")
        mask = None
        if data[1] & 0x80:
            if len(data) < at + 4:
                return None
            mask, at = data[at:at + 4], at + 4
        if len(data) < at + length:
            return None
        payload, self._buffer = data[at:at + length], data[at + length:]
        if mask:
            payload = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        return bool(data[0] & 0x80), data[0] & 0x0F, payload

    def _frame(self) -> Tuple[bool, int, bytes]:
        while True:
            frame = self._parse()
            if frame:
                return frame
            self._fill()

    def send(self, opcode: int, payload: bytes = b"") -> None:
        mask = os.urandom(4)
        header = bytes([0x80 | opcode])
        if len(payload) < 126:
            header += bytes([0x80 | len(payload)])
        elif len(payload) < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(payload))
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", len(payload))
        self._socket.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def receive(self, timeout: Optional[float]) -> Tuple[int, bytes]:
        """The next message as (TEXT or BINARY, payload); raises socket.timeout when none came in
        time (the connection stays usable), WebSocketError when the connection ended."""
        self._socket.settimeout(timeout)
        opcode, parts = 0, []
        while True:
            final, kind, payload = self._frame()
            if kind == PING:
                self.send(PONG, payload)
                continue
            if kind == CLOSE:
                raise WebSocketError("the server closed the live view")
            if kind in (TEXT, BINARY):
                opcode = kind
            parts.append(payload)
            if final:
                return opcode, b"".join(parts)

    def close(self) -> None:
        try:
            self.send(CLOSE, struct.pack(">H", 1000))
        except OSError:
            pass
        self._socket.close()
