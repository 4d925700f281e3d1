#pragma once

#include <string>
#include <vector>

namespace panelgrab {

// One serial port of the system, with what the system knows about the device behind it.
struct PortInfo {
    std::string path;        // what to open: "/dev/ttyUSB0" (on Windows "COM5")
    std::string description; // product or friendly name, "" when unknown
    std::string manufacturer;
    std::string serialNumber;
    std::string vendorId; // 4 hex digits, "" when not USB
    std::string productId;
    std::string byIdPath; // /dev/serial/by-id/... link to it, "" when none
};

// The serial ports of the system, without opening any (opening toggles DTR, which resets boards).
std::vector<PortInfo> ListPorts();

// The name prefixes of serial devices in /dev: on-board UARTs, USB adapters and modems, Bluetooth
// links and the UARTs of common boards. A device name is a prefix followed by a number.
const std::vector<std::string>& SerialDevicePrefixes();

// EnumeratePorts over any folder: fills `names` with the devices in `folder` whose names are one of
// `prefixes` followed by digits and that can be opened exclusively now, in natural order (ttyS2
// before ttyS10). Names in /dev are listed bare ("ttyUSB0"), others as full paths.
bool EnumeratePorts(const std::string& folder, const std::vector<std::string>& prefixes,
                    std::vector<std::string>& names);

// True when `name` is `prefix` followed by at least one digit.
bool MatchesDevicePattern(const std::string& name, const std::string& prefix);

// Natural order of device names: by text, with runs of digits compared as numbers.
bool NaturalLess(const std::string& a, const std::string& b);

} // namespace panelgrab
