"""The exceptions panelgrab raises. Their messages are the program's own texts: the port's reason and
what to do about it, or what the phone did."""


class Error(Exception):
    """Base of every panelgrab error."""


class PortError(Error):
    """The port could not be opened or failed under an operation (unplugged, hung up, busy, no
    permission, no such device). The message names the port, the reason and what to do."""


class PhoneNotResponding(Error):
    """The port works, but the phone stays silent: it is off, not connected, or runs at another baud
    rate."""


class PhoneError(Error):
    """The phone refused a command (it answered ERROR) or answered in a way that cannot be used.

    ``code`` is the phone library's result: 5 for a failed or refused operation, 6 for an answer
    that could not be used."""

    def __init__(self, message: str, code: int) -> None:
        super().__init__(message)
        self.code = code


class PictureError(Error):
    """A picture file could not be read or written, or no picture could be made from what the phone
    sent. The message names the file and the reason."""
