#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cli/cli_options.h"

namespace panelgrab::cli {

// Sets an option's value into the options; false with a message in `error` for a malformed value.
using Applier = bool (*)(CliOptions&, std::string_view value, std::string& error);

constexpr uint32_t Bit(Command command) {
    return 1u << static_cast<uint32_t>(command);
}
inline constexpr uint32_t kAnyCommand = 0;

// One option: its spellings, the name of its value (empty for a switch), the commands it belongs
// to (a mask of Bit(command); kAnyCommand: a global option, taken before or after every command),
// the help's words for it and what it sets.
struct OptionEntry {
    std::string_view longName;
    std::string_view shortName;
    std::string_view valueName;
    uint32_t commands;
    std::string_view description;
    Applier apply;
};

// One command: its word, a line for the overall help, the words its positional arguments are
// shown as in its own help (empty: it takes none), and the text below its options there.
struct CommandEntry {
    std::string_view name;
    Command command;
    std::string_view summary;
    std::string_view arguments;
    std::string_view details;
};

std::span<const OptionEntry> OptionTable();
std::span<const CommandEntry> CommandTable();

// The command's word, "help" for the commands that have none.
std::string_view NameOf(Command command);

} // namespace panelgrab::cli
