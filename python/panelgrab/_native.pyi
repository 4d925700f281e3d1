"""The phone library, the picture comparison and the simulated phone of Panelgrab (the extension
behind the panelgrab package; import panelgrab, not this)."""
import os
from types import TracebackType
from typing import Any, Callable, Dict, Iterator, List, Optional, Sequence, Tuple, Type, Union

Region = Tuple[int, int, int, int]
"""(left, top, right, bottom) in pixels, all four bounds inclusive."""
PathLike = Union[str, "os.PathLike[str]"]

class Display:
    """One display of the phone, as its display list describes it."""
    @property
    def number(self) -> int:
        """The display's number: 0 for the first, 1 for the second."""
    @property
    def width(self) -> int:
        """Pixels per line."""
    @property
    def height(self) -> int:
        """Lines."""
    @property
    def bits_per_pixel(self) -> int:
        """Bits per pixel: 1, 2, 8 or 16 are decoded."""
    @property
    def characters_per_line(self) -> int:
        """Hexadecimal characters one display line takes in the picture data."""

class KeyEvent:
    """A key of the phone going down (pressed) or up."""
    @property
    def key(self) -> str:
        """The key's text, e.g. "5", "#" or "<"."""
    @property
    def pressed(self) -> bool:
        """True for a press, False for a release."""

class KeyEvents:
    """The phone's key events inside a ``with`` block.

    Entering the block switches the phone's key reporting on, leaving it switches it off. Iterating
    yields KeyEvent objects as they arrive and ends when none came within the timeout given to
    key_events(); take() collects a number of them. A port that fails under the listener (the phone
    was unplugged or hung up) raises PortError after the events that came before it. Ctrl-C ends a
    wait at once, and so does the phone's close() from any thread: the iteration ends as if no
    event came.
    """
    def __enter__(self) -> "KeyEvents": ...
    def __exit__(self, exc_type: Optional[Type[BaseException]], exc: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None: ...
    def __iter__(self) -> Iterator[KeyEvent]: ...
    def __next__(self) -> KeyEvent: ...
    def take(self, count: int, timeout: Optional[float] = None) -> List[KeyEvent]:
        """Up to `count` events, waiting at most `timeout` seconds in all (None: the timeout given to
        key_events()). Fewer come back when the time ran out. Raises PortError when the port failed."""

class LiveView:
    """The live view of a phone's display inside a ``with`` block.

    Entering the block starts the live view (a full read, then refreshes that fetch only what
    changed), leaving it ends it. Iterating yields (picture, regions) each time refreshes fetched
    something: the picture as a Screen, and the (left, top, right, bottom) boxes fetched since the
    last step, bounds inclusive. Iteration ends when no change came within the timeout given to
    live(). A live view that ends by itself (the phone went away) raises PortError. Ctrl-C ends a
    wait at once.
    """
    def __enter__(self) -> "LiveView": ...
    def __exit__(self, exc_type: Optional[Type[BaseException]], exc: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None: ...
    def __iter__(self) -> Iterator[Tuple[Screen, List[Tuple[int, int, int, int]]]]: ...
    def __next__(self) -> Tuple[Screen, List[Tuple[int, int, int, int]]]: ...

class Comparison:
    """What Screen.compare() found."""
    @property
    def matches(self) -> bool:
        """True when no more pixels differ than allowed (and the sizes agree)."""
    @property
    def verdict(self) -> str:
        """"match", "differ" or "size mismatch"."""
    @property
    def differing_pixels(self) -> int:
        """Compared pixels with a channel beyond the tolerance."""
    @property
    def compared_pixels(self) -> int:
        """Pixels looked at: inside the regions, outside the ignored areas."""
    @property
    def largest_difference(self) -> int:
        """The largest channel difference among the compared pixels (0-255)."""
    @property
    def bbox(self) -> Optional[Region]:
        """(left, top, right, bottom) of the differing pixels, inclusive; None when none differ."""
    @property
    def summary(self) -> str:
        """One line: "match", "differ: 1234 pixels in (10,200)-(175,219), largest channel difference
        255", or the size mismatch."""
    def save_diff(self, path: PathLike) -> None:
        """Writes a picture of the differences: the reference washed out to grey, differing pixels in
        red, areas not compared hatched blue. PNG for a .png name, else BMP. Raises PictureError."""

class Screen:
    """A captured picture.

    It supports the buffer protocol as height x width x 3 unsigned bytes (red, green, blue; row 0 at
    the top), so numpy.asarray(screen) shares its memory; Pillow takes it with Image.fromarray(screen).
    """
    @property
    def width(self) -> int:
        """Pixels per line."""
    @property
    def height(self) -> int:
        """Lines."""
    @property
    def rgb(self) -> bytes:
        """The pixels as bytes: red, green, blue, row by row from the top."""
    def tobytes(self) -> bytes:
        """The pixels as bytes, as rgb gives them."""
    @property
    def __array_interface__(self) -> Dict[str, Any]:
        """The array interface, for numpy and Pillow's Image.fromarray()."""
    def __buffer__(self, flags: int) -> memoryview: ...
    def save(self, path: PathLike) -> None:
        """Writes the picture: PNG for a name ending in .png, else BMP. The file is replaced only once
        the new one is whole. Raises PictureError."""
    def region_checksum(self, region: Region) -> int:
        """The checksum of a region computed here from the picture text received, as the phone's
        checksum() computes it on the phone. Available until the next grab of the same phone.
        Raises PictureError after that."""
    def compare(self, reference: Union["Screen", PathLike], *, regions: Optional[Sequence[Region]] = None,
                ignore: Optional[Sequence[Region]] = None, tolerance: int = 0,
                max_diff_pixels: int = 0) -> Comparison:
        """Compares this screen with a reference: another Screen or a BMP/PNG file's path.

        `regions`: only these areas are compared (default all); `ignore`: never compared (a clock).
        `tolerance`: a channel difference still counted equal (0-255). `max_diff_pixels`: differing
        pixels still allowed. Raises PictureError for an unreadable file, ValueError for a region
        wholly outside the pictures."""

class Phone:
    """A phone on a port, made by panelgrab.open().

    Every call blocks until the phone has answered, with the GIL released; Ctrl-C ends it within a
    fraction of a second by closing the port, which the next call opens again. Failures raise
    PortError, PhoneNotResponding, PhoneError or PictureError with the program's own texts. Used as
    a context manager, the phone is closed at the end of the block.
    """
    def __enter__(self) -> "Phone": ...
    def __exit__(self, exc_type: Optional[Type[BaseException]], exc: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None: ...
    def close(self) -> None:
        """Ends the key event iterations and another thread's call at once, stops the key events,
        closes the port and the simulated phone."""
    @property
    def closed(self) -> bool:
        """True once close() was called."""
    @property
    def port(self) -> str:
        """The port as messages name it, e.g. "sim (/dev/pts/4)" or "/dev/ttyACM0"."""
    def model(self) -> str:
        """The phone's model, as its AT+CGMM answer names it after the maker ("P200")."""
    def displays(self) -> List[Display]:
        """The phone's displays, from its display list."""
    def grab(self, display: int = 0, progress: Optional[Callable[[int, int], Any]] = None) -> Screen:
        """Reads the picture of display `display` (its position in displays()) on the background
        worker and returns it as a Screen. `progress`, when given, is called as progress(lines,
        total) as the lines arrive, on the calling thread; an exception it raises ends the read and
        goes on. Raises PortError, PhoneNotResponding, PhoneError (the phone refused or sent less
        than the whole picture) or PictureError."""
    def checksum(self, region: Region, display: int = 0) -> int:
        """The phone's own checksum of a region of display number `display`: a 32-bit sum, as
        Screen.region_checksum() computes it from a received picture."""
    def press(self, keys: str, press_ms: Optional[int] = None, pause_ms: Optional[int] = None) -> None:
        """Presses the keys (AT+CKPD), e.g. "123#". `press_ms` and `pause_ms` (given together) set
        how long each key is held and the pause after it, in milliseconds; the phone counts tenths
        of a second."""
    def key_events(self, timeout: Optional[float] = None) -> KeyEvents:
        """The phone's key events as a context manager and iterator (see KeyEvents). `timeout`:
        seconds iteration waits for the next event before it ends; None waits for ever."""
    def live(self, display: int = 0, *, full_every: Optional[float] = None,
             timeout: Optional[float] = None) -> LiveView:
        """The live view of a display as a context manager and iterator (see LiveView): each step
        gives (picture, regions) once a refresh fetched something. `full_every`: seconds between
        full reads (None: 30, 0: none after the first); `timeout`: seconds a step waits for a change
        before the iteration ends."""
    def gui_object(self) -> Dict[str, str]:
        """The phone's current GUI object as a dict of its fields (upper-case keys, text values)."""
    def send(self, text: str) -> str:
        """Sends `text` as it is and returns the phone's whole answer up to its OK, echo included.
        The phone executes a command at its carriage return: end it with "\\r". An ERROR answer
        raises PhoneError."""
    @property
    def baud(self) -> int:
        """The rate the port runs at: the one given, or the one baud="auto" found."""

class PortInfo:
    """A serial port of this machine, as panelgrab-cli ports lists it."""
    @property
    def path(self) -> str:
        """What to open, e.g. "/dev/ttyUSB0"."""
    @property
    def description(self) -> str:
        """Product or friendly name; "" when unknown."""
    @property
    def manufacturer(self) -> str: ...
    @property
    def serial_number(self) -> str: ...
    @property
    def vendor_id(self) -> str:
        """4 hex digits; "" when not USB."""
    @property
    def product_id(self) -> str: ...
    @property
    def by_id_path(self) -> str:
        """The /dev/serial/by-id link to it; "" when none."""

class Simulator:
    """The simulated phone, started from panelgrab-phonesim's options."""
    def __init__(self, arguments: List[str]) -> None: ...
    @property
    def port(self) -> str:
        """The pseudo-terminal to open."""
    @property
    def running(self) -> bool: ...
    def stop(self) -> None:
        """Stops serving and closes the pseudo-terminal."""

def open(port: str, baud: Union[int, str] = 115200, *, init_commands: Union[bool, str] = False,
         trace: Optional[Callable[[str, str], Any]] = None, fast_timing: bool = False,
         record_session: Optional[str] = None, force: bool = False) -> Phone:
    """Opens a phone; see panelgrab.open()."""

def ports() -> List[PortInfo]:
    """The machine's serial ports, never opening one."""

def screen_from_png(png: bytes) -> Screen:
    """A Screen from a PNG file's bytes (no picture text: region_checksum() raises PictureError)."""
