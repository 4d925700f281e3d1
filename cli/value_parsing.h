#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/display_region.h"

namespace panelgrab::cli {

// Strict parsers for option values: the whole text must be the value, no blanks or signs where
// they make no sense. Each gives no value for anything else, so a typo is never half-read.

// A decimal integer in [min, max].
std::optional<int64_t> ParseInteger(std::string_view text, int64_t min, int64_t max);

// A non-negative number of seconds, fractions allowed ("2", "0.5").
std::optional<double> ParseSeconds(std::string_view text);

// "L,T,R,B": four display coordinates 0..65535 with left <= right and top <= bottom. On failure
// `error` says what is wrong.
std::optional<DisplayRegion> ParseRegion(std::string_view text, std::string& error);

} // namespace panelgrab::cli
