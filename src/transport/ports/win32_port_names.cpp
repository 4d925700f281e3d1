#include "transport/ports/port_names.h"

namespace panelgrab {
namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

std::string DevicePathOf(const std::string& portName) {
    if (portName.empty() || SchemeOfPortName(portName) != PortScheme::Local ||
        StartsWith(portName, "\\\\.\\") || StartsWith(portName, "//./")) {
        return portName;
    }
    return "\\\\.\\" + portName;
}

} // namespace panelgrab
