#pragma once

#include <string>
#include <string_view>

namespace panelgrab {

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

} // namespace panelgrab
