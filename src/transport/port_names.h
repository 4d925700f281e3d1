#pragma once

#include <string>
#include <vector>

namespace panelgrab {

// "None" in any letter case: no port is to be opened.
bool IsNonePortName(const std::string& name);

// n for "COMn" in any letter case (1 to 4 digits), 0 for any other name.
int ComPortNumber(const std::string& name);

// The device path of a port name. On POSIX a path (containing '/') is used as it is, "COMn" means
// /dev/ttyS(n-1), any other bare name means /dev/NAME. On Windows a name in the device namespace
// ("\\.\COM12") is used as it is and any other name is put there: "COM7" means "\\.\COM7", which
// also reaches the ports above COM9.
std::string DevicePathOf(const std::string& portName);

// Fills `names` with the serial devices that can be opened now (ttyS, ttyUSB, ttyACM, rfcomm,
// ttyAMA and the like), in a stable order; a device another program holds is left out. On Windows:
// the system's COM ports in the order of their numbers. Always returns true.
bool EnumeratePorts(std::vector<std::string>& names);

// A short human reason for a system error (errno; on Windows a GetLastError() code) from opening
// or using a port, e.g. "permission denied (is your user in the dialout group?)" or
// "busy: another program holds it"; on Windows the system's own text for the rarer ones.
std::string DescribeSystemError(int error);

} // namespace panelgrab
