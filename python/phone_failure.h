#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "phone/phone_link.h"
#include "python/python_errors.h"

namespace panelgrab::python {

// Turns the phone library's results into Python errors with the program's own texts: the port's
// fixed text, the system's reason and what to do, or the screen buffer's text. `label` names the
// port in every message ("sim (/dev/pts/3)", "/dev/ttyACM0").
class PhoneFailure {
public:
    // Opening failed: PhoneNotResponding when the port opened but the phone kept silent, PhoneError
    // when it refused an initialisation command, else PortError.
    static Failure Open(const SerialPort& port, const std::string& label);
    // An operation gave `result` (not kPhoneOk): PhoneError when the phone refused the command or its
    // answer was unusable, PhoneNotResponding on a time-out, PortError when the line failed.
    static Failure Operation(const PhoneLink& phone, const std::string& label, std::string_view operation,
                             int32_t result);
    // A background read ended short of the whole picture, for `reason` (PhoneLink::GetReadFailure).
    static Failure ShortRead(const PhoneLink& phone, const std::string& label, const std::string& reason,
                             int64_t lines, int64_t totalLines);
    // The port's text with the system's reason and advice: "Unable to open com port. ... (no such
    // device) Check the port name ...".
    static std::string Describe(const SerialPort& port);

private:
    // The kind of error the port's last failure text stands for.
    static ErrorKind KindOfPortText(const SerialPort& port);
};

} // namespace panelgrab::python
