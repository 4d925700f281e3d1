// The panelgrab._native extension: the phone library, the comparison and the simulated phone for
// Python. The package's __init__.py re-exports it; _native.pyi carries the same documentation for
// editors.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>

#include "python/comparison.h"
#include "python/gil_gate.h"
#include "python/key_event_stream.h"
#include "python/live_stream.h"
#include "python/phone_handle.h"
#include "python/python_text.h"
#include "python/region_argument.h"
#include "python/screen.h"
#include "python/screen_from_png.h"
#include "python/simulator_handle.h"
#include "session/ports.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace panelgrab::python {
namespace {

std::string Quoted(const std::string& text) {
    return py::repr(TextOf(text)).cast<std::string>();
}

void BindPhone(py::module_& m) {
    py::class_<DisplayInfo>(m, "Display", "One display of the phone, as its display list describes it.")
        .def_property_readonly(
            "number", [](const DisplayInfo& d) { return d.displayNumber; },
            "The display's number: 0 for the first, 1 for the second.")
        .def_property_readonly(
            "width", [](const DisplayInfo& d) { return d.width; }, "Pixels per line.")
        .def_property_readonly(
            "height", [](const DisplayInfo& d) { return d.height; }, "Lines.")
        .def_property_readonly(
            "bits_per_pixel", [](const DisplayInfo& d) { return d.bitsPerPixel; },
            "Bits per pixel: 1, 2, 8 or 16 are decoded.")
        .def_property_readonly(
            "characters_per_line", [](const DisplayInfo& d) { return d.lineLength; },
            "Hexadecimal characters one display line takes in the picture data.")
        .def("__eq__", [](const DisplayInfo& a, const DisplayInfo& b) { return a == b; })
        .def("__repr__", [](const DisplayInfo& d) {
            return "Display(number=" + std::to_string(d.displayNumber) +
                   ", width=" + std::to_string(d.width) + ", height=" + std::to_string(d.height) +
                   ", bits_per_pixel=" + std::to_string(d.bitsPerPixel) +
                   ", characters_per_line=" + std::to_string(d.lineLength) + ")";
        });

    py::class_<KeyEvent>(m, "KeyEvent", "A key of the phone going down (pressed) or up.")
        .def_property_readonly(
            "key", [](const KeyEvent& e) { return TextOf(e.key); },
            "The key's text, e.g. \"5\", \"#\" or \"<\".")
        .def_readonly("pressed", &KeyEvent::pressed, "True for a press, False for a release.")
        .def("__eq__",
             [](const KeyEvent& a, const KeyEvent& b) { return a.key == b.key && a.pressed == b.pressed; })
        .def("__repr__", [](const KeyEvent& e) {
            return "KeyEvent(" + Quoted(e.key) + ", pressed=" + (e.pressed ? "True" : "False") + ")";
        });

    py::class_<KeyEventStream>(m, "KeyEvents", R"doc(The phone's key events inside a ``with`` block.

Entering the block switches the phone's key reporting on, leaving it switches it off. Iterating yields
KeyEvent objects as they arrive and ends when none came within the timeout given to key_events();
take() collects a number of them. A port that fails under the listener (the phone was unplugged or
hung up) raises PortError after the events that came before it. Ctrl-C ends a wait at once, and so
does the phone's close() from any thread: the iteration ends as if no event came.)doc")
        .def("__enter__",
             [](KeyEventStream& s) -> KeyEventStream& {
                 s.Enter();
                 return s;
             })
        .def("__exit__", [](KeyEventStream& s, const py::args&) { s.Exit(); })
        .def("__iter__", [](KeyEventStream& s) -> KeyEventStream& { return s; })
        .def("__next__",
             [](KeyEventStream& s) {
                 std::optional<KeyEvent> event = s.Next();
                 if (!event) {
                     throw py::stop_iteration();
                 }
                 return *event;
             })
        .def("take", &KeyEventStream::Take, "count"_a, "timeout"_a = py::none(),
             R"doc(Up to `count` events, waiting at most `timeout` seconds in all (None: the timeout given to
key_events()). Fewer come back when the time ran out. Raises PortError when the port failed.)doc");

    py::class_<LiveStream>(m, "LiveView", R"doc(The live view of a phone's display inside a ``with`` block.

Entering the block starts the live view (a full read, then refreshes that fetch only what changed),
leaving it ends it. Iterating yields (picture, regions) each time refreshes fetched something: the
picture as a Screen, and the (left, top, right, bottom) boxes fetched since the last step, bounds
inclusive. Iteration ends when no change came within the timeout given to live(), and at once when
the phone is closed (also from another thread). A live view that ends by itself (the phone went
away) raises PortError. Ctrl-C ends a wait at once.)doc")
        .def("__enter__",
             [](LiveStream& s) -> LiveStream& {
                 s.Enter();
                 return s;
             })
        .def("__exit__", [](LiveStream& s, const py::args&) { s.Exit(); })
        .def("__iter__", [](LiveStream& s) -> LiveStream& { return s; })
        .def("__next__", [](LiveStream& s) {
            std::optional<LiveStream::Frame> frame = s.Next();
            if (!frame) {
                throw py::stop_iteration();
            }
            py::list boxes;
            for (const LiveRegion& r : frame->second) {
                boxes.append(py::make_tuple(r.firstColumn, r.firstRow, r.lastColumn, r.lastRow));
            }
            return py::make_tuple(frame->first, boxes);
        });

    py::class_<PhoneHandle, std::shared_ptr<PhoneHandle>>(m, "Phone",
                                                          R"doc(A phone on a port, made by panelgrab.open().

Every call blocks until the phone has answered, with the GIL released; Ctrl-C ends it within a
fraction of a second by closing the port, which the next call opens again. close() from another thread
ends a call in progress there (it raises ValueError). Failures raise PortError,
PhoneNotResponding, PhoneError or PictureError with the program's own texts. Used as a context
manager, the phone is closed at the end of the block.)doc")
        .def("__enter__", [](const std::shared_ptr<PhoneHandle>& p) { return p; })
        .def("__exit__", [](PhoneHandle& p, const py::args&) { p.Close(); })
        .def("close", &PhoneHandle::Close,
             "Ends the key event iterations and another thread's call at once, stops the key events, closes "
             "the port and the simulated phone.")
        .def_property_readonly("closed", &PhoneHandle::closed, "True once close() was called.")
        .def_property_readonly("port", &PhoneHandle::label,
                               "The port as messages name it, e.g. \"sim (/dev/pts/4)\" or \"/dev/ttyACM0\".")
        .def_property_readonly("baud", &PhoneHandle::baud,
                               "The rate the port runs at: the one given, or the one baud=\"auto\" found.")
        .def("__repr__", [](const PhoneHandle& p) { return "<panelgrab.Phone " + p.label() + ">"; })
        .def(
            "model", [](PhoneHandle& p) { return TextOf(p.Model()); },
            "The phone's model, as its AT+CGMM answer names it after the maker (\"P200\").")
        .def("displays", &PhoneHandle::Displays, "The phone's displays, from its display list.")
        .def("grab", &PhoneHandle::Grab, "display"_a = 0, "progress"_a = py::none(),
             R"doc(Reads the picture of display `display` (its position in displays()) on the background
worker and returns it as a Screen. `progress`, when given, is called as progress(lines, total) as the
lines arrive, on the calling thread; an exception it raises ends the read and goes on. Raises
PortError, PhoneNotResponding, PhoneError (the phone refused or sent less than the whole picture) or
PictureError.)doc")
        .def(
            "checksum",
            [](PhoneHandle& p, const py::object& region, int32_t display) {
                return p.Checksum(RegionArgument::ToDisplayRegion(region), display);
            },
            "region"_a, "display"_a = 0,
            R"doc(The phone's own checksum of a region (left, top, right, bottom; inclusive) of display
number `display`: a 32-bit sum, as Screen.region_checksum() computes it from a received picture.)doc")
        .def("press", &PhoneHandle::Press, "keys"_a, "press_ms"_a = py::none(), "pause_ms"_a = py::none(),
             R"doc(Presses the keys (AT+CKPD), e.g. "123#". `press_ms` and `pause_ms` (given together) set how
long each key is held and the pause after it, in milliseconds; the phone counts tenths of a second.)doc")
        .def(
            "key_events",
            [](const std::shared_ptr<PhoneHandle>& p, std::optional<double> timeout) {
                return KeyEventStream(p, timeout);
            },
            "timeout"_a = py::none(),
            R"doc(The phone's key events as a context manager and iterator (see KeyEvents). `timeout`:
seconds iteration waits for the next event before it ends; None waits for ever.)doc")
        .def(
            "live",
            [](const std::shared_ptr<PhoneHandle>& p, std::size_t display, std::optional<double> fullEvery,
               std::optional<double> timeout) { return LiveStream(p, display, fullEvery, timeout); },
            "display"_a = 0, py::kw_only(), "full_every"_a = py::none(), "timeout"_a = py::none(),
            R"doc(The live view of a display as a context manager and iterator (see LiveView): each step gives
(picture, regions) once a refresh fetched something. `full_every`: seconds between full reads (None:
30, 0: none after the first); `timeout`: seconds a step waits for a change before the iteration ends.)doc")
        .def(
            "gui_object",
            [](PhoneHandle& p) {
                py::dict fields;
                const GuiObjectMap objects = p.GuiObject();
                for (const auto& [key, value] : objects.entries()) {
                    fields[TextOf(key)] = TextOf(value);
                }
                return fields;
            },
            "The phone's current GUI object as a dict of its fields (upper-case keys, text values).")
        .def(
            "send", [](PhoneHandle& p, const std::string& text) { return TextOf(p.Send(text)); }, "text"_a,
            R"doc(Sends `text` as it is and returns the phone's whole answer up to its OK, echo included. The
phone executes a command at its carriage return: end it with "\r". An ERROR answer raises PhoneError.)doc");

    m.def(
        "open",
        [](const std::string& port, const py::object& baud, const py::object& initCommands,
           const py::object& trace, bool fastTiming, const py::object& recordSession, bool force) {
            // True sends the settings' (empty) command list, a lone CR; a text gives the lines.
            const bool lines = py::isinstance<py::str>(initCommands);
            const std::string commands = lines ? initCommands.cast<std::string>() : std::string();
            const bool send = lines || initCommands.cast<bool>();
            const bool baudAuto = py::isinstance<py::str>(baud);
            if (baudAuto && baud.cast<std::string>() != "auto") {
                throw py::value_error("baud must be a rate or \"auto\", not \"" + baud.cast<std::string>() +
                                      "\"");
            }
            const std::string session =
                recordSession.is_none() ? std::string() : py::str(recordSession).cast<std::string>();
            return PhoneHandle::Open({.port = port,
                                      .baud = baudAuto ? 0 : baud.cast<int32_t>(),
                                      .baudAuto = baudAuto,
                                      .force = force,
                                      .fastTiming = fastTiming,
                                      .initCommands = send,
                                      .commandLines = commands,
                                      .recordSession = session,
                                      .trace = nullptr, // the handle's bridge to `trace`
                                      // How the module names its own tools in advice.
                                      .wording = {"panelgrab.ports()", "baud=...", "force=True"},
                                      .notice = nullptr},
                                     trace);
        },
        "port"_a, "baud"_a = 115200, py::kw_only(), "init_commands"_a = false, "trace"_a = py::none(),
        "fast_timing"_a = false, "record_session"_a = py::none(), "force"_a = false,
        "Opens a phone; see panelgrab.open().");
}

void BindScreen(py::module_& m) {
    py::class_<Comparison>(m, "Comparison", "What Screen.compare() found.")
        .def_property_readonly(
            "matches", [](const Comparison& c) { return c.result().matches(); },
            "True when no more pixels differ than allowed (and the sizes agree).")
        .def_property_readonly("verdict", &Comparison::Verdict, "\"match\", \"differ\" or \"size mismatch\".")
        .def_property_readonly(
            "differing_pixels", [](const Comparison& c) { return c.result().differingPixels; },
            "Compared pixels with a channel beyond the tolerance.")
        .def_property_readonly(
            "compared_pixels", [](const Comparison& c) { return c.result().comparedPixels; },
            "Pixels looked at: inside the regions, outside the ignored areas.")
        .def_property_readonly(
            "largest_difference", [](const Comparison& c) { return c.result().largestDifference; },
            "The largest channel difference among the compared pixels (0-255).")
        .def_property_readonly(
            "bbox", &Comparison::Bbox,
            "(left, top, right, bottom) of the differing pixels, inclusive; None when none differ.")
        .def_property_readonly(
            "summary", [](const Comparison& c) { return c.result().Summary(); },
            "One line: \"match\", \"differ: 1234 pixels in (10,200)-(175,219), largest channel "
            "difference 255\", or the size mismatch.")
        .def(
            "save_diff",
            [](const Comparison& c, const std::filesystem::path& path) { c.SaveDiff(path.string()); },
            "path"_a,
            R"doc(Writes a picture of the differences: the reference washed out to grey, differing pixels in
red, areas not compared hatched blue. PNG for a .png name, else BMP. Raises PictureError.)doc")
        .def("__repr__",
             [](const Comparison& c) { return "<panelgrab.Comparison " + c.result().Summary() + ">"; });

    py::class_<Screen, std::shared_ptr<Screen>>(m, "Screen", py::buffer_protocol(), R"doc(A captured picture.

It supports the buffer protocol as height x width x 3 unsigned bytes (red, green, blue; row 0 at the
top), so numpy.asarray(screen) shares its memory; Pillow takes it with Image.fromarray(screen).)doc")
        .def_buffer(&Screen::Buffer)
        .def_property_readonly("width", &Screen::width, "Pixels per line.")
        .def_property_readonly("height", &Screen::height, "Lines.")
        .def_property_readonly("rgb", &Screen::Rgb,
                               "The pixels as bytes: red, green, blue, row by row from the top.")
        .def("tobytes", &Screen::Rgb, "The pixels as bytes, as rgb gives them.")
        .def_property_readonly(
            "__array_interface__",
            [](const Screen& s) {
                // No "data": numpy takes the memory through the buffer protocol. The strides make
                // Pillow's fromarray() take the pixels through tobytes(), since its decoders refuse
                // buffers that must be released.
                return py::dict("version"_a = 3, "typestr"_a = "|u1",
                                "shape"_a = py::make_tuple(s.height(), s.width(), 3),
                                "strides"_a = py::make_tuple(s.width() * 3, 3, 1));
            },
            "The array interface, for numpy and Pillow's Image.fromarray().")
        .def(
            "save", [](const Screen& s, const std::filesystem::path& path) { s.Save(path.string()); },
            "path"_a,
            R"doc(Writes the picture: PNG for a name ending in .png, else BMP. The file is replaced only once
the new one is whole. Raises PictureError.)doc")
        .def("region_checksum", &Screen::RegionChecksum, "region"_a,
             R"doc(The checksum of a region (left, top, right, bottom; inclusive) computed here from the
picture text received, as the phone's checksum() computes it on the phone. Available until the next
grab of the same phone. Raises PictureError after that.)doc")
        .def("compare", &Screen::Compare, "reference"_a, py::kw_only(), "regions"_a = py::none(),
             "ignore"_a = py::none(), "tolerance"_a = 0, "max_diff_pixels"_a = 0,
             R"doc(Compares this screen with a reference: another Screen or a BMP/PNG file's path.
`regions`: only these areas are compared (default all); `ignore`: never compared (a clock); both lists
of (left, top, right, bottom), inclusive. `tolerance`: a channel difference still counted equal
(0-255). `max_diff_pixels`: differing pixels still allowed. Returns a Comparison. Raises PictureError
for an unreadable file, ValueError for a region wholly outside the pictures.)doc")
        .def("__repr__", [](const Screen& s) {
            return "<panelgrab.Screen " + std::to_string(s.width()) + "x" + std::to_string(s.height()) + ">";
        });
    m.def("screen_from_png", &ScreenFromPng, "png"_a,
          "A Screen from a PNG file's bytes (no picture text: region_checksum() raises PictureError).");
}

void BindPorts(py::module_& m) {
    py::class_<PortInfo>(m, "PortInfo", "A serial port of this machine, as panelgrab-cli ports lists it.")
        .def_readonly("path", &PortInfo::path, "What to open, e.g. \"/dev/ttyUSB0\".")
        .def_readonly("description", &PortInfo::description, "Product or friendly name; \"\" when unknown.")
        .def_readonly("manufacturer", &PortInfo::manufacturer)
        .def_readonly("serial_number", &PortInfo::serialNumber)
        .def_readonly("vendor_id", &PortInfo::vendorId, "4 hex digits; \"\" when not USB.")
        .def_readonly("product_id", &PortInfo::productId)
        .def_readonly("by_id_path", &PortInfo::byIdPath, "The /dev/serial/by-id link to it; \"\" when none.")
        .def("__str__", [](const PortInfo& p) { return DescribePort(p); })
        .def("__repr__", [](const PortInfo& p) { return "<panelgrab.PortInfo " + DescribePort(p) + ">"; });

    m.def(
        "ports",
        [] {
            const GilGate::Released release;
            return ListPorts();
        },
        "The machine's serial ports, never opening one; str() of each is the line panelgrab-cli ports "
        "prints.");

    py::class_<SimulatorHandle>(m, "Simulator",
                                "The simulated phone, started from panelgrab-phonesim's options.")
        .def(py::init<const std::vector<std::string>&>(), "arguments"_a)
        .def_property_readonly("port", &SimulatorHandle::Port, "The pseudo-terminal to open.")
        .def_property_readonly("running", &SimulatorHandle::running)
        .def("stop", &SimulatorHandle::Stop, "Stops serving and closes the pseudo-terminal.");
}

} // namespace
} // namespace panelgrab::python

PYBIND11_MODULE(_native, m) {
    m.doc() = "The phone library, the picture comparison and the simulated phone of Panelgrab.";
    // Classes before the functions that return them, so that signatures name them.
    panelgrab::python::BindScreen(m);
    panelgrab::python::BindPorts(m);
    panelgrab::python::BindPhone(m);
    // Registered before the package's own hook that closes the open phones, so it runs after it:
    // the gate shuts on the threads that are left.
    pybind11::module_::import("atexit").attr("register")(
        pybind11::cpp_function([] { panelgrab::python::GilGate::Close(); }));
}
