#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/option_table.h"

namespace panelgrab::cli {

// The command line's grammar, built from the option and command tables: the program with its
// global options, and a subcommand per command with that command's options. Every command option
// is also known, unlisted, to the program itself, so that it may stand before the command.
struct CommandLine {
    std::unique_ptr<CLI::App> program;
    // Where each option was registered: the program's own copy, then the commands' ones.
    std::vector<std::pair<const OptionEntry*, CLI::Option*>> options;
    // The command's positional words, one entry per command.
    std::vector<std::pair<Command, CLI::Option*>> words;
    CLI::App* help = nullptr; // the help command: "help COMMAND"
};

CommandLine BuildCommandLine();

// The subcommand of a command.
CLI::App* CommandApp(const CommandLine& line, Command command);

} // namespace panelgrab::cli
