#include "cli/command_line.h"

#include <ranges>

#include "cli/help_text.h"

namespace panelgrab::cli {

namespace {

// Wide enough for "--region-checksum L,T,R,B" and a space.
constexpr std::size_t kOptionColumn = 28;

std::string SpellingsOf(const OptionEntry& entry) {
    std::string names(entry.longName);
    return entry.shortName.empty() ? names : std::string(entry.shortName) + "," + names;
}

CLI::Option* AddOption(CLI::App& app, const OptionEntry& entry, bool listed) {
    const std::string description(entry.description);
    CLI::Option* option = nullptr;
    if (entry.valueName.empty()) {
        option = app.add_flag(SpellingsOf(entry), description)->disable_flag_override();
    } else {
        option = app.add_option(SpellingsOf(entry), description)
                     ->type_name(std::string(entry.valueName))
                     ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
    if (!listed) {
        option->group("");
    }
    return option;
}

void AddCommand(CommandLine& line, const CommandEntry& entry) {
    CLI::App* command = line.program->add_subcommand(std::string(entry.name), std::string(entry.summary));
    command->footer(std::string(entry.details));
    for (const OptionEntry& option : OptionTable()) {
        if (option.commands != kAnyCommand && (option.commands & Bit(entry.command)) != 0) {
            line.options.emplace_back(&option, AddOption(*command, option, true));
        }
    }
    // A word too many is left over and judged with these by the command's own check.
    for (const auto word : std::views::split(entry.arguments, ' ')) {
        const std::string name(word.begin(), word.end());
        if (name.empty()) {
            continue;
        }
        line.words.emplace_back(entry.command, command->add_option(name));
    }
}

} // namespace

CommandLine BuildCommandLine() {
    CommandLine line;
    line.program = std::make_unique<CLI::App>(std::string(kProgramSummary), "panelgrab-cli");
    CLI::App& program = *line.program;
    program.set_help_flag(); // --help is an entry of the option table, answered after parsing
    program.allow_extras();
    program.fallthrough();
    program.require_subcommand(0, 1);
    program.footer(GeneralNotes());
    program.get_formatter()->column_width(kOptionColumn);
    program.get_formatter()->label("Subcommands", "Commands");
    program.get_formatter()->label("SUBCOMMAND", "COMMAND");
    program.get_formatter()->label("Positionals", "Arguments");
    for (const OptionEntry& option : OptionTable()) {
        line.options.emplace_back(&option, AddOption(program, option, option.commands == kAnyCommand));
    }
    for (const CommandEntry& command : CommandTable()) {
        AddCommand(line, command);
    }
    // "help COMMAND": COMMAND is left over, as CLI11 takes a command's name for a second command.
    line.help = program.add_subcommand("help", "Print a command's help: help COMMAND.");
    for (CLI::App* command : program.get_subcommands({})) {
        command->allow_extras();
    }
    return line;
}

CLI::App* CommandApp(const CommandLine& line, Command command) {
    return line.program->get_subcommand(std::string(NameOf(command)));
}

} // namespace panelgrab::cli
