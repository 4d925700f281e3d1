#pragma once

#include <string>

#include "transport/at/serial_port.h"

namespace panelgrab {

// How a client names its own tools in advice: the command line and the Python module differ.
struct FailureWording {
    std::string listPorts = "panelgrab-cli ports"; // what lists the ports
    std::string baudOption = "--baud";             // how the baud rate is chosen
    std::string forceOption = "--force";           // how a port that others hold is opened all the same
};

// The port's fixed text of its last failure, with the operating system's reason in parentheses
// where there is one, and what the user can do about it where there is something to do:
// "Unable to open com port. ... (permission denied (...)) Add your user to the dialout group ...".
// A port that named programs hold is told as "/dev/ttyUSB0 is in use by ser2net (pid 612). ...".
std::string DescribePortFailure(const SerialPort& port, const FailureWording& wording = {});

} // namespace panelgrab
