#include <cerrno>
#include <cstring>

#include "transport/port_names.h"

namespace panelgrab {

std::string DevicePathOf(const std::string& portName) {
    if (portName.find('/') != std::string::npos) {
        return portName;
    }
    // COM1 is the first port, /dev/ttyS0.
    if (const int n = ComPortNumber(portName); n >= 1) {
        return "/dev/ttyS" + std::to_string(n - 1);
    }
    return "/dev/" + portName;
}

std::string DescribeSystemError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "permission denied (is your user in the dialout group?)";
    case EBUSY:
    case EWOULDBLOCK:
        return "busy: another program holds it";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "no such device";
    case EIO:
        return "device gone (hang-up)";
    default:
        return std::strerror(error);
    }
}

} // namespace panelgrab
