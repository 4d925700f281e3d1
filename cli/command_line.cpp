#include "cli/command_line.h"

#include <ranges>

#include "cli/help_text.h"

namespace panelgrab::cli {

namespace {

// Wide enough for "--region-checksum L,T,R,B" and a space.
constexpr std::size_t kOptionColumn = 28;

std::string SpellingsOf(const OptionSpec& spec) {
    std::string names(spec.longName);
    return spec.shortName.empty() ? names : std::string(spec.shortName) + "," + names;
}

CLI::Option* AddOption(CLI::App& app, const OptionSpec& spec, bool listed) {
    const std::string description(spec.description);
    CLI::Option* option = nullptr;
    if (spec.valueName.empty()) {
        option = app.add_flag(SpellingsOf(spec), description)->disable_flag_override();
    } else {
        option = app.add_option(SpellingsOf(spec), description)
                     ->type_name(std::string(spec.valueName))
                     ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
    if (!listed) {
        option->group("");
    }
    return option;
}

void AddCommand(CommandLine& line, const CommandSpec& spec) {
    CLI::App* command = line.program->add_subcommand(std::string(spec.name), std::string(spec.summary));
    command->footer(std::string(spec.details));
    for (const OptionSpec& option : OptionTable()) {
        if (option.commands != kAnyCommand && (option.commands & Bit(spec.command)) != 0) {
            line.options.emplace_back(&option, AddOption(*command, option, true));
        }
    }
    // A word too many is left over and judged with these by the command's own check.
    for (const auto word : std::views::split(spec.arguments, ' ')) {
        const std::string name(word.begin(), word.end());
        if (name.empty()) {
            continue;
        }
        line.words.emplace_back(spec.command, command->add_option(name));
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
    for (const OptionSpec& option : OptionTable()) {
        line.options.emplace_back(&option, AddOption(program, option, option.commands == kAnyCommand));
    }
    for (const CommandSpec& command : CommandTable()) {
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
