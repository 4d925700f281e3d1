#include "python/trace_bridge.h"

#include "python/python_text.h"

namespace py = pybind11;

namespace panelgrab::python {

void TraceBridge::Call(const char* direction, const std::string& text) {
    if (_Py_IsFinalizing()) {
        return; // a thread that asked for the GIL now would never get it
    }
    const py::gil_scoped_acquire acquire;
    try {
        callback_(direction, TextOf(text));
    } catch (py::error_already_set& error) {
        error.discard_as_unraisable("panelgrab trace callback");
    }
}

} // namespace panelgrab::python
