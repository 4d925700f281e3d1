#pragma once

#include <cstdint>
#include <string_view>

namespace panelgrab {

// Reads the hexadecimal checksum of an "AT*ZAPC" answer: the text after "ZAPC: " up to the next
// carriage return, blanks and one pair of double quotes removed. False when it holds no number.
bool ParseChecksum(std::string_view answer, int32_t& value);

} // namespace panelgrab
