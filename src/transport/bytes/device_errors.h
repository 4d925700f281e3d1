#pragma once

#include <string>

namespace panelgrab {

// Reasons of network-port failures that no errno expresses, for DescribeSystemError. Negative, so
// they never meet an errno.
inline constexpr int kErrorBadAddress = -2;          // the URL is not SCHEME://HOST:PORT
inline constexpr int kErrorHostNotFound = -3;        // the host name is unknown
inline constexpr int kErrorNameLookupFailed = -4;    // the name service did not answer in time
inline constexpr int kErrorNoComPortControl = -5;    // the server refuses telnet COM port control
inline constexpr int kErrorSettingRefused = -6;      // the server answered a line setting with another value
inline constexpr int kErrorPortHeld = -7;            // another program holds the local port open
inline constexpr int kErrorSettingsUnconfirmed = -8; // the server took the connection, never the settings

// What kind of trouble a system error from opening or using a port means.
enum class PortTrouble {
    Other,
    Permission,
    Busy,
    NoSuchPort,
    Gone,
    Unreachable,
    ConnectionClosed,
    NotRfc2217
};
PortTrouble TroubleOf(int error);

// A short human reason for a system error (errno; on Windows a GetLastError() code) from opening
// or using a port, e.g. "permission denied (is your user in the dialout group?)" or
// "busy: another program holds it"; on Windows the system's own text for the rarer ones.
std::string DescribeSystemError(int error);

// The part of DescribeSystemError that every platform shares: the text of a network port's own
// failures above and of a connection the server closed; null for any other error.
const char* DescribeNetworkFailure(int error);

} // namespace panelgrab
