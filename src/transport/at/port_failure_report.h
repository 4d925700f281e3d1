#pragma once

#include <chrono>
#include <string>

namespace panelgrab {

class SerialPort;

// What a port knows of its last failure, as plain facts: the layers above word them for the user
// (which tool lists the ports, what to do about a busy port) and classify them.
struct PortFailureReport {
    std::string text;            // the port's fixed text ("Unable to open com port. ...")
    int systemError = 0;         // the operating system's error, or one of the device's own codes
    std::string finalResultLine; // the phone's words for a refusal ("+CME ERROR: 100"), if any
    std::string portName;        // the port as the user named it
    std::chrono::milliseconds connectWait{0}; // how long a network port waits for its server
};

// The report of `port`'s last finished operation.
PortFailureReport ReportOf(const SerialPort& port);

} // namespace panelgrab
