#pragma once

#include <string>
#include <vector>

namespace panelgrab {

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
