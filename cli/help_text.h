#pragma once

#include <string>

namespace panelgrab::cli {

// The text --help prints: every command and every option.
std::string HelpText();

// The one line printed under a usage error.
inline constexpr const char* kUsageHint = "Try 'panelgrab-cli --help' for the commands and options.";

} // namespace panelgrab::cli
