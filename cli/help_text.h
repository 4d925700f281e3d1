#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"

namespace panelgrab::cli {

// The help: the overall one (the commands, a line each, and the global options), or one command's
// (its options only).
std::string HelpText(std::optional<Command> topic = std::nullopt);

// The words above and below the option lists.
inline constexpr const char* kProgramSummary =
    "Copies a phone's display to the computer and talks to the phone with AT commands over a serial\n"
    "port. Data goes to stdout, messages to stderr.\n";
std::string GeneralNotes();

// The one line printed under a usage error.
inline constexpr const char* kUsageHint =
    "Try 'panelgrab-cli --help' for the commands and 'panelgrab-cli help COMMAND' for a command's options.";

} // namespace panelgrab::cli
