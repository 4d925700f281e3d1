#include "transport/bytes/device_errors.h"

#include "transport/bytes/network_socket.h"

namespace panelgrab {

const char* DescribeNetworkFailure(int error) {
    if (error == SocketError::kClosedByPeer) {
        return "connection closed by the server";
    }
    switch (error) {
    case kErrorBadAddress:
        return "not a network port address (tcp://HOST:PORT or rfc2217://HOST:PORT)";
    case kErrorHostNotFound:
        return "host name not found";
    case kErrorNameLookupFailed:
        return "the host name could not be looked up (no answer from the name service)";
    case kErrorNoComPortControl:
        return "the server refuses RFC 2217 COM port control (a raw TCP port is reached with tcp://)";
    case kErrorSettingRefused:
        return "the server did not take the line settings (baud rate, 8 data bits, no parity, 1 stop bit, "
               "no flow control)";
    case kErrorSettingsUnconfirmed:
        return "the server accepted the connection but did not confirm the port settings";
    default:
        return nullptr;
    }
}

} // namespace panelgrab
