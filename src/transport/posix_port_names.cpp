#include "transport/port_names.h"

#include <cerrno>
#include <cstring>

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

PortTrouble TroubleOf(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return PortTrouble::Permission;
    case EBUSY:
    case EWOULDBLOCK:
    case kErrorPortHeld:
        return PortTrouble::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortTrouble::NoSuchPort;
    case EIO:
        return PortTrouble::Gone;
    case ECONNREFUSED:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case kErrorHostNotFound:
    case kErrorNameLookupFailed:
        return PortTrouble::Unreachable;
    case ECONNRESET:
        return PortTrouble::ConnectionClosed;
    case kErrorNoComPortControl:
        return PortTrouble::NotRfc2217;
    default:
        return PortTrouble::Other;
    }
}

std::string DescribeSystemError(int error) {
    if (const char* text = DescribeNetworkFailure(error)) {
        return text;
    }
    if (error == ECONNREFUSED) {
        return "connection refused (nothing listens at that host and port)";
    }
    switch (TroubleOf(error)) {
    case PortTrouble::Permission:
        return "permission denied (is your user in the dialout group?)";
    case PortTrouble::Busy:
        return "busy: another program holds it";
    case PortTrouble::NoSuchPort:
        return "no such device";
    case PortTrouble::Gone:
        return "device gone (hang-up)";
    default:
        return std::strerror(error);
    }
}

} // namespace panelgrab
