#pragma once

#include <string>

namespace panelgrab {

// "None" in any letter case: no port is to be opened.
bool IsNonePortName(const std::string& name);

// The device path of a port name: a path (containing '/') is used as it is, "COMn" means
// /dev/ttyS(n-1), any other bare name means /dev/NAME.
std::string DevicePathOf(const std::string& portName);

// Natural order of device names: by text, with runs of digits compared as numbers (ttyS2 before
// ttyS10).
bool NaturalLess(const std::string& a, const std::string& b);

// A short human reason for an errno from opening or using a port, e.g.
// "permission denied (is your user in the dialout group?)" or "busy: another program holds it".
std::string DescribeSystemError(int error);

} // namespace panelgrab
