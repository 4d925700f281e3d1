#pragma once

#include <cstdint>
#include <string>

#include "session/failure.h"

namespace panelgrab::python {

// The exception classes of panelgrab.errors.
enum class ErrorKind {
    Port,          // PortError: the port could not be opened or failed
    NotResponding, // PhoneNotResponding: the port works, the phone stays silent
    Phone,         // PhoneError: the phone refused or answered unusably
    Picture,       // PictureError: a picture file could not be read or written, or a picture made
};

// An error to raise in Python. It is made where the GIL may be released; Raise needs the GIL.
struct PythonError {
    ErrorKind kind = ErrorKind::Port;
    std::string message;
    int32_t code = 0; // PhoneError's result code
};

// Sets the Python exception for `error` and throws pybind11's error_already_set. GIL held.
[[noreturn]] void Raise(const PythonError& error);

// The exception class a session failure of `kind` is raised as.
ErrorKind ErrorKindOf(FailureKind kind);

// Raises a session failure as the exception class of its kind, with the message every front end
// shows (FailureMessage); PhoneError's code is 1 for a failed open, 6 for an unusable answer, else 5.
// GIL held.
[[noreturn]] void RaiseFailure(const Failure& failure, bool opening = false);

} // namespace panelgrab::python
