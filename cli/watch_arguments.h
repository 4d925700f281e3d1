#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/comparison_arguments.h"

namespace panelgrab::cli {

// Longest --full-every: the live view counts it in milliseconds of 32 bits.
inline constexpr double kLongestFullEverySeconds = 2000000;

// watch --full-every SECONDS: 0 (only the opening full read) up to kLongestFullEverySeconds.
bool SetFullEvery(std::optional<double>& fullEvery, std::string_view value, std::string& error);

// The combinations watch accepts: -o a numbered file name (pictures are written one per refresh),
// --changed-only only with -o, the comparison options only with --changed-only.
bool CheckWatchArguments(const ComparisonArguments& arguments, const std::string& output, std::string& error);

} // namespace panelgrab::cli
