#pragma once

#include <string>
#include <vector>

namespace panelgrab {

// "None" in any letter case: no port is to be opened.
bool IsNonePortName(const std::string& name);

// The device path of a port name: a path (containing '/') is used as it is, "COMn" means
// /dev/ttyS(n-1), any other bare name means /dev/NAME.
std::string DevicePathOf(const std::string& portName);

// Fills `names` with the serial devices that can be opened now (ttyS, ttyUSB, ttyACM, rfcomm,
// ttyAMA and the like), in a stable order; a device another program holds is left out.
// Always returns true.
bool EnumeratePorts(std::vector<std::string>& names);

// A short human reason for an errno from opening or using a port, e.g.
// "permission denied (is your user in the dialout group?)" or "busy: another program holds it".
std::string DescribeSystemError(int error);

} // namespace panelgrab
