#pragma once

#include <string>

#include "session/failure.h"
#include "transport/at/port_failure_report.h"

namespace panelgrab {

// How a client names its own tools in advice: the command line and the Python module differ.
struct FailureWording {
    std::string listPorts = "panelgrab-cli ports"; // what lists the ports
    std::string baudOption = "--baud";             // how the baud rate is chosen
    std::string forceOption = "--force";           // how a port that others hold is opened all the same;
                                                   // empty where it cannot be
};

class SerialPort;

// The port's fixed text of its failure, with the operating system's reason in parentheses where
// there is one, and what the user can do about it where there is something to do:
// "Unable to open com port. ... (permission denied (...)) Add your user to the dialout group ...".
// A port that named programs hold is told as "/dev/ttyUSB0 is in use by ser2net (pid 612). ...".
std::string DescribePortFailure(const PortFailureReport& report, const FailureWording& wording = {});
// The same for the port's last finished operation.
std::string DescribePortFailure(const SerialPort& port, const FailureWording& wording = {});

// The kind of a port's failure: by the operating system's error, else by the port's fixed text.
FailureKind KindOfPortFailure(const PortFailureReport& report);

} // namespace panelgrab
