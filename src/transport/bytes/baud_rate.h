#pragma once

#include <cstdint>
#include <string>

namespace panelgrab {

// The slowest and fastest rates a serial port can be set to (the ends of the termios rate table);
// a driver may still refuse a rate between them, which the open then reports.
inline constexpr int32_t kSlowestBaudRate = 50;
inline constexpr int32_t kFastestBaudRate = 4000000;

// Whether a serial port can be set to `rate`; false with the reason when no port can.
bool IsSettableBaudRate(int32_t rate, std::string& why);

} // namespace panelgrab
