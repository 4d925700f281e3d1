#include <winsock2.h>

#include <windows.h>

#include "common/win32_text.h"
#include "transport/bytes/device_errors.h"

namespace panelgrab {

PortTrouble TroubleOf(int error) {
    switch (error) {
    case ERROR_ACCESS_DENIED: // what a COM port answers while another program has it open
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
    case kErrorPortHeld:
        return PortTrouble::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DEV_NOT_EXIST:
        return PortTrouble::NoSuchPort;
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
        return PortTrouble::Gone;
    case WSAECONNREFUSED:
    case WSAETIMEDOUT:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case kErrorHostNotFound:
    case kErrorNameLookupFailed:
        return PortTrouble::Unreachable;
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return PortTrouble::ConnectionClosed;
    case kErrorNoComPortControl:
        return PortTrouble::NotRfc2217;
    default:
        return PortTrouble::Other;
    }
}

// Winsock's failures (connection refused, timed out ...) are told in the system's own words.
std::string DescribeSystemError(int error) {
    if (const char* text = DescribeNetworkFailure(error)) {
        return text;
    }
    switch (TroubleOf(error)) {
    case PortTrouble::Busy:
        return "busy: another program holds it";
    case PortTrouble::NoSuchPort:
        return "no such device";
    case PortTrouble::Gone:
        return "device gone (unplugged?)";
    default:
        return WindowsErrorText(error);
    }
}

} // namespace panelgrab
