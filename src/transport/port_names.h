#pragma once

#include <string>

namespace panelgrab {

// Reasons of network-port failures that no errno expresses, for DescribeSystemError. Negative, so
// they never meet an errno.
inline constexpr int kErrorBadAddress = -2;       // the URL is not SCHEME://HOST:PORT
inline constexpr int kErrorHostNotFound = -3;     // the host name is unknown
inline constexpr int kErrorNameLookupFailed = -4; // the name service did not answer in time
inline constexpr int kErrorNoComPortControl = -5; // the server refuses telnet COM port control
inline constexpr int kErrorSettingRefused = -6;   // the server answered a line setting with another value

// "None" in any letter case: no port is to be opened.
bool IsNonePortName(const std::string& name);

// The device path of a port name: a network port's URL (tcp://, rfc2217://) and a path (containing
// '/') are used as they are, "COMn" means /dev/ttyS(n-1), any other bare name means /dev/NAME.
std::string DevicePathOf(const std::string& portName);

// Natural order of device names: by text, with runs of digits compared as numbers (ttyS2 before
// ttyS10).
bool NaturalLess(const std::string& a, const std::string& b);

// A short human reason for an errno from opening or using a port, e.g.
// "permission denied (is your user in the dialout group?)" or "busy: another program holds it".
std::string DescribeSystemError(int error);

} // namespace panelgrab
