#include <cerrno>
#include <cstring>

#include "transport/bytes/device_errors.h"

namespace panelgrab {

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
