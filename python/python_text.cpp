#include "python/python_text.h"

namespace py = pybind11;

namespace panelgrab::python {

py::str TextOf(const std::string& text) {
    PyObject* decoded = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    if (decoded == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(decoded);
}

} // namespace panelgrab::python
