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

// The phone library's result codes PhoneError carries.
constexpr int32_t kOpenFailed = 1;
constexpr int32_t kFailed = 5;
constexpr int32_t kBadAnswer = 6;

} // namespace

void Raise(const PythonError& error) {
    // The classes live in the pure-Python part, where users see (and subclass) them.
    const py::object type = py::module_::import("panelgrab.errors").attr(ClassName(error.kind));
    const py::object value =
        error.kind == ErrorKind::Phone ? type(error.message, error.code) : type(error.message);
    PyErr_SetObject(type.ptr(), value.ptr());
    throw py::error_already_set();
}

ErrorKind ErrorKindOf(FailureKind kind) {
    switch (kind) {
    case FailureKind::NotResponding:
        return ErrorKind::NotResponding;
    case FailureKind::Refused:
    case FailureKind::BadAnswer:
    case FailureKind::DisplayTooLarge:
    case FailureKind::BadInput:
        return ErrorKind::Phone;
    case FailureKind::File:
        return ErrorKind::Picture;
    case FailureKind::NoSuchDevice:
    case FailureKind::Permission:
    case FailureKind::PortBusy:
    case FailureKind::PortFailed:
    case FailureKind::PhoneGone:
    case FailureKind::Stopped:
        break;
    }
    return ErrorKind::Port;
}

void RaiseFailure(const Failure& failure, bool opening) {
    const int32_t code = opening                                  ? kOpenFailed
                         : failure.kind == FailureKind::BadAnswer ? kBadAnswer
                                                                  : kFailed;
    Raise({ErrorKindOf(failure.kind), FailureMessage(failure), code});
}

} // namespace panelgrab::python
