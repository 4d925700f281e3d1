#include "python/trace_bridge.h"

#include "python/gil_gate.h"
#include "python/python_text.h"

namespace py = pybind11;

namespace panelgrab::python {

void TraceBridge::Call(const char* direction, const std::string& text) {
    const GilGate::Acquired acquire;
    if (!acquire.held()) {
        return; // the interpreter is ending
    }
    try {
        callback_(direction, TextOf(text));
    } catch (py::error_already_set& error) {
        error.discard_as_unraisable("panelgrab trace callback");
    }
}

} // namespace panelgrab::python
