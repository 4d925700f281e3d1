#include "python/python_errors.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace panelgrab::python {

namespace {

const char* ClassName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::Port:
        return "PortError";
    case ErrorKind::NotResponding:
        return "PhoneNotResponding";
    case ErrorKind::Phone:
        return "PhoneError";
    case ErrorKind::Picture:
        break;
    }
    return "PictureError";
}

} // namespace

void Raise(const Failure& failure) {
    // The classes live in the pure-Python part, where users see (and subclass) them.
    const py::object type = py::module_::import("panelgrab.errors").attr(ClassName(failure.kind));
    const py::object error =
        failure.kind == ErrorKind::Phone ? type(failure.message, failure.code) : type(failure.message);
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

} // namespace panelgrab::python
