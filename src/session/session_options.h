#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "session/port_failure.h"
#include "transport/at/trace_sink.h"
#include "transport/bytes/port_timing.h"

namespace panelgrab {

class ConnectionSettings;
class PhoneLink;

// How a front end wants its phone opened.
struct SessionOptions {
    // A port name ("/dev/ttyACM0", "COM3", a by-id link), "sim" or "sim:OPTIONS" for the simulated
    // phone, or a URL (tcp://HOST:PORT, rfc2217://HOST:PORT).
    std::string port;
    int32_t baud = 115200;
    bool baudAuto = false;      // find the rate the phone answers at instead of using `baud`
    bool force = false;         // open a local port that another program holds open
    bool fastTiming = false;    // the shrunk port timing, for tests against the simulated phone
    bool initCommands = false;  // send the initialisation commands after the probe
    std::string commandLines;   // those commands, each line ending in CR LF; empty: the default ones
    std::string recordSession;  // the session file to record the traffic in; empty: none
    TraceSink* trace = nullptr; // gets the port's traffic; outlives the session
    FailureWording wording;     // how the front end names its own tools in advice
    // What the user should know during a long wait (the rate a baud search found, a phone still
    // sending the rest of a picture); called on the waiting thread.
    std::function<void(const std::string&)> notice;
};

// What a front end may choose beyond SessionOptions (the Session's second argument).
struct PortOverrides {
    // The port's timing instead of the default one (or the shrunk one `fastTiming` chooses).
    std::optional<PortTiming> timing;
    // How failures name the port, for a front end that named it its own way; empty: the session's
    // naming ("COM1 (/dev/ttyS0)", "sim (/dev/pts/4)").
    std::string label;
    // Makes the phone object over the port; empty: the real one. Tests shape the phone's answers here.
    std::function<std::unique_ptr<PhoneLink>(const ConnectionSettings&)> makePhone;
};

} // namespace panelgrab
