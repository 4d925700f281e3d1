#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/ascii_text.h"

namespace panelgrab {

// Scans `text` against a pattern of the formatted-input kind, over text that need not be
// zero-terminated. A blank in the pattern matches any run of white space (none included); "%d" skips
// white space and converts a signed decimal number (saturated to 32 bits); every other character
// must match itself. Returns how many numbers were converted before the first mismatch, at most
// `capacity` of them stored in `values`.
std::size_t ScanDecimals(std::string_view text, std::string_view pattern, int32_t* values,
                         std::size_t capacity);

// The C locale's white space: blank, tab, line feed, vertical tab, form feed, carriage return.
bool IsBlank(char c);

} // namespace panelgrab
