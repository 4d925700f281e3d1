#include "cli/cli_options.h"

#include "cli/command_line.h"
#include "cli/escape_decoder.h"
#include "cli/picture_output.h"
#include "cli/watch_arguments.h"
#include "common/cli11_arguments.h"

namespace panelgrab::cli {

namespace {

std::optional<Command> FindCommand(std::string_view word) {
    for (const CommandEntry& entry : CommandTable()) {
        if (entry.name == word) {
            return entry.command;
        }
    }
    return std::nullopt;
}

bool IsOptionWord(std::string_view word) {
    return word.size() > 1 && word.front() == '-';
}

// What CLI11 did not take: an unknown option, or a word the command does not want.
bool TakeLeftovers(const CommandLine& line, std::vector<std::string>& words, std::string& error) {
    for (const std::string& word : line.program->remaining(true)) {
        if (word == "--") { // CLI11 keeps the end of the options among them
            continue;
        }
        if (IsOptionWord(word)) {
            error = "unknown option " + word.substr(0, word.find('='));
            return false;
        }
        words.push_back(word);
    }
    return true;
}

// Applies every option given, in the table's order; `seen` collects them. A switch's results
// are CLI11's "true"s, one per time it is given.
bool ApplyOptions(const CommandLine& line, CliOptions& options, std::vector<const OptionEntry*>& seen,
                  std::string& error) {
    for (const auto& [entry, option] : line.options) {
        if (option->count() > 0) {
            seen.push_back(entry);
        }
        for (const std::string& value : option->results()) {
            if (!entry->apply(options, entry->valueName.empty() ? std::string_view() : value, error)) {
                return false;
            }
        }
    }
    return true;
}

// --help or --version, whichever came last.
std::optional<Command> AskedForHelp(const CommandLine& line) {
    std::optional<Command> asked;
    for (const CLI::Option* option : line.program->parse_order()) {
        if (option->check_lname("help")) {
            asked = Command::Help;
        } else if (option->check_lname("version")) {
            asked = Command::Version;
        }
    }
    return asked;
}

std::optional<Command> ChosenCommand(const CommandLine& line) {
    const std::vector<CLI::App*> chosen = line.program->get_subcommands();
    return chosen.empty() ? std::nullopt : FindCommand(chosen.front()->get_name());
}

// The command's positional words, in order.
std::vector<std::string> WordsOf(const CommandLine& line, std::optional<Command> command) {
    std::vector<std::string> words;
    for (const auto& [owner, option] : line.words) {
        if (owner == command) {
            words.insert(words.end(), option->results().begin(), option->results().end());
        }
    }
    return words;
}

// "help [COMMAND]" and "[COMMAND] --help": the topic is the command, if any. The word after "help"
// comes back as a word left over.
bool TakeHelpTopic(const CommandLine& line, std::optional<Command> command,
                   const std::vector<std::string>& words, CliOptions& options, std::string& error) {
    options.command = Command::Help;
    options.helpTopic = command;
    if (!line.help->parsed() || words.empty()) {
        return true;
    }
    options.helpTopic = FindCommand(words.front());
    if (!options.helpTopic) {
        error = "unknown command '" + words.front() + "'";
    }
    return options.helpTopic.has_value();
}

bool CheckOptionsFitCommand(const std::vector<const OptionEntry*>& seen, Command command,
                            std::string& error) {
    for (const OptionEntry* option : seen) {
        if (option->commands != kAnyCommand && (option->commands & Bit(command)) == 0) {
            error = std::string(option->longName) + " does not apply to " + std::string(NameOf(command));
            return false;
        }
    }
    return true;
}

bool TakeText(Command command, std::vector<std::string>& words, CliOptions& options, std::string& error) {
    if (command == Command::Compare) {
        return TakeCompareFiles(words, options.compare, error);
    }
    bool wantsText = command == Command::Send || command == Command::Keys;
    if (!wantsText) {
        if (!words.empty()) {
            error = std::string(NameOf(command)) + " takes no argument, but got '" + words.front() + "'";
            return false;
        }
        return true;
    }
    if (words.size() != 1) {
        error = std::string(NameOf(command)) + " takes exactly one TEXT argument (quote it if it has blanks)";
        return false;
    }
    if (command == Command::Keys) {
        if (words.front().empty()) {
            error = "keys needs at least one key";
            return false;
        }
        options.text = words.front();
        return true;
    }
    std::string why;
    std::optional<std::string> decoded = DecodeEscapes(words.front(), why);
    if (!decoded) {
        error = "send TEXT: " + why;
        return false;
    }
    options.text = *decoded;
    return true;
}

bool CheckCombinations(const CliOptions& options, std::string& error) {
    if (NeedsPhone(options.command) && options.port.empty()) {
        error = std::string(NameOf(options.command)) + " needs --port NAME (or --port sim)";
        return false;
    }
    if (options.command == Command::Checksum && !options.region) {
        error = "checksum needs --region L,T,R,B";
        return false;
    }
    if (options.command == Command::Keys && options.pressMs.has_value() != options.pauseMs.has_value()) {
        error = "--press and --pause go together: give both or neither";
        return false;
    }
    if (options.command == Command::Grab && options.output == "-" && options.regionChecksum) {
        error = "--region-checksum prints on stdout, which -o - already fills with the picture";
        return false;
    }
    if (options.command == Command::Checksum && options.compare.options.regions.size() > 1) {
        error = "checksum takes one --region";
        return false;
    }
    if (options.command == Command::Grab && !options.output.empty() &&
        !IsPictureTarget(options.output, error)) {
        return false;
    }
    if (options.command == Command::Watch && options.recordScale != 1 && options.record.empty()) {
        error = "--scale enlarges what --record records: give --record FILE";
        return false;
    }
    if (options.command == Command::Watch) {
        return CheckWatchArguments(options.compare, options.output, error);
    }
    if (options.command == Command::Grab) {
        return CheckGrabArguments(options.compare, options.output, options.count || options.seconds,
                                  options.background || options.regionChecksum.has_value(), error);
    }
    return options.command != Command::Compare || CheckCompareArguments(options.compare, error);
}

} // namespace

bool NeedsPhone(Command command) {
    return command != Command::Help && command != Command::Version && command != Command::Ports &&
           command != Command::Compare;
}

ParseOutcome ParseArguments(const std::vector<std::string>& args) {
    ParseOutcome outcome;
    CommandLine line = BuildCommandLine();
    try {
        line.program->parse(Cli11Arguments(args));
    } catch (const CLI::ParseError& error) {
        outcome.error = Cli11ErrorText(error.what());
        return outcome;
    }
    const std::optional<Command> command = ChosenCommand(line);
    std::vector<std::string> words = WordsOf(line, command);
    CliOptions options;
    std::vector<const OptionEntry*> seen;
    if (!TakeLeftovers(line, words, outcome.error) || !ApplyOptions(line, options, seen, outcome.error)) {
        return outcome;
    }
    if (!command && !words.empty() && !line.help->parsed()) {
        outcome.error = "unknown command '" + words.front() + "'";
        return outcome;
    }
    const std::optional<Command> asked = AskedForHelp(line);
    if (asked == Command::Version) {
        options.command = Command::Version;
        outcome.options = options;
        return outcome;
    }
    if (asked || line.help->parsed()) { // whatever else is there
        if (TakeHelpTopic(line, command, words, options, outcome.error)) {
            outcome.options = options;
        }
        return outcome;
    }
    if (!command) {
        outcome.error = "no command given";
        return outcome;
    }
    options.command = *command;
    if (!CheckOptionsFitCommand(seen, *command, outcome.error) ||
        !TakeText(*command, words, options, outcome.error) || !CheckCombinations(options, outcome.error)) {
        return outcome;
    }
    // grab --expect and --every write a file only when -o names one.
    if (options.command == Command::Grab && options.output.empty() && options.compare.expectFile.empty() &&
        !options.compare.every) {
        options.output = kDefaultGrabFile;
    }
    outcome.options = options;
    return outcome;
}

} // namespace panelgrab::cli
