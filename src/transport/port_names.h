#pragma once

#include <string>
#include <string_view>

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

// "None" in any letter case: no port is to be opened.
bool IsNonePortName(const std::string& name);

// n for "COMn" in any letter case (1 to 4 digits), 0 for any other name.
int ComPortNumber(const std::string& name);

// How a port name reaches its device.
enum class PortScheme {
    Local,   // a device of this machine
    Tcp,     // "tcp://HOST:PORT" (also pyserial's "socket://"): the serial data as a plain TCP stream
    Rfc2217, // "rfc2217://HOST:PORT": telnet with COM port control (RFC 2217)
};

// The scheme of a port name, from its prefix in any letter case.
PortScheme SchemeOfPortName(std::string_view portName);

// The device path of a port name. A network port's URL is used as it is. On POSIX a path
// (containing '/') is used as it is, "COMn" means /dev/ttyS(n-1), any other bare name means
// /dev/NAME. On Windows a name in the device namespace ("\\.\COM12") is used as it is and any other
// name is put there: "COM7" means "\\.\COM7", which also reaches the ports above COM9.
std::string DevicePathOf(const std::string& portName);

// Natural order of device names: by text, with runs of digits compared as numbers (ttyS2 before
// ttyS10).
bool NaturalLess(const std::string& a, const std::string& b);

// What kind of trouble a system error from opening or using a port means, for advice to the user.
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
