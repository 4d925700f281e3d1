#pragma once

#include <cstdint>
#include <string>

namespace panelgrab::python {

// The exception classes of panelgrab.errors.
enum class ErrorKind {
    Port,          // PortError: the port could not be opened or failed
    NotResponding, // PhoneNotResponding: the port works, the phone stays silent
    Phone,         // PhoneError: the phone refused or answered unusably
    Picture,       // PictureError: a picture file could not be read or written, or a picture made
};

// An error to raise in Python. It is made where the GIL may be released; Raise needs the GIL.
struct Failure {
    ErrorKind kind = ErrorKind::Port;
    std::string message;
    int32_t code = 0; // PhoneError's result code
};

// Sets the Python exception for `failure` and throws pybind11's error_already_set. GIL held.
[[noreturn]] void Raise(const Failure& failure);

} // namespace panelgrab::python
