#include "transport/ports/port_names.h"

#include <string>

namespace panelgrab {

std::string DevicePathOf(const std::string& portName) {
    // No name is no device (not the folder /dev/), and a name with a slash is already a path.
    if (portName.empty() || SchemeOfPortName(portName) != PortScheme::Local ||
        portName.find('/') != std::string::npos) {
        return portName;
    }
    // COM1 is the first port, /dev/ttyS0.
    if (const int n = ComPortNumber(portName); n >= 1) {
        return "/dev/ttyS" + std::to_string(n - 1);
    }
    return "/dev/" + portName;
}

} // namespace panelgrab
