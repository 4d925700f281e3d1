#include "cli/cli_options.h"

#include <array>
#include <limits>
#include <set>
#include <string_view>

#include "cli/escape_decoder.h"
#include "cli/picture_output.h"
#include "cli/value_parsing.h"
#include "cli/watch_arguments.h"
#include "transport/baud_rate.h"

namespace panelgrab::cli {

namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

struct CommandName {
    std::string_view name;
    Command command;
};

constexpr std::array<CommandName, 11> kCommands{{
    {"ports", Command::Ports},
    {"send", Command::Send},
    {"model", Command::Model},
    {"displays", Command::Displays},
    {"grab", Command::Grab},
    {"checksum", Command::Checksum},
    {"keys", Command::Keys},
    {"listen", Command::Listen},
    {"gui", Command::Gui},
    {"compare", Command::Compare},
    {"watch", Command::Watch},
}};

using Applier = bool (*)(CliOptions&, std::string_view value, std::string& error);

constexpr uint32_t Bit(Command command) {
    return 1u << static_cast<uint32_t>(command);
}
constexpr uint32_t kAnyCommand = 0;

// One option: its spellings, whether it takes a value, and the commands it belongs to (a mask of
// Bit(command); kAnyCommand: every command).
struct OptionSpec {
    std::string_view longName;
    std::string_view shortName;
    bool takesValue;
    uint32_t commands;
    Applier apply;
};

bool SetIntegerOption(std::string_view name, std::string_view value, int64_t min, int64_t max,
                      int32_t& target, std::string& error) {
    std::optional<int64_t> parsed = ParseInteger(value, min, max);
    if (!parsed) {
        error = std::string(name) + " needs a whole number from " + std::to_string(min) + " to " +
                std::to_string(max) + ", not '" + std::string(value) + "'";
        return false;
    }
    target = static_cast<int32_t>(*parsed);
    return true;
}

bool SetRegionOption(std::string_view name, std::string_view value, std::optional<DisplayRegion>& target,
                     std::string& error) {
    std::string why;
    target = ParseRegion(value, why);
    if (!target) {
        error = std::string(name) + ": " + why;
        return false;
    }
    return true;
}

// The options of picture comparison and repeated capture (their appliers live in
// comparison_arguments.cpp).
constexpr uint32_t kComparing = Bit(Command::Compare) | Bit(Command::Grab);
// watch --changed-only judges with the same options.
constexpr uint32_t kJudging = kComparing | Bit(Command::Watch);

const std::array<OptionSpec, 27> kOptions{{
    {"--port", "", true, kAnyCommand,
     [](CliOptions& o, std::string_view v, std::string& e) {
         if (v.empty()) {
             e = "--port needs a port name";
             return false;
         }
         o.port = v;
         return true;
     }},
    {"--baud", "", true, kAnyCommand,
     [](CliOptions& o, std::string_view v, std::string& e) {
         o.baudAuto = v == "auto";
         if (o.baudAuto) {
             return true;
         }
         if (!SetIntegerOption("--baud", v, 1, kInt32Max, o.baud, e)) {
             return false;
         }
         std::string why;
         if (!IsSettableBaudRate(o.baud, why)) {
             e = "--baud " + std::string(v) + ": " + why;
             return false;
         }
         return true;
     }},
    {"--trace", "", false, kAnyCommand,
     [](CliOptions& o, std::string_view, std::string&) {
         o.trace = true;
         return true;
     }},
    {"--record-session", "", true, kAnyCommand,
     [](CliOptions& o, std::string_view v, std::string& e) {
         if (v.empty()) {
             e = "--record-session needs a file name";
             return false;
         }
         o.recordSession = v;
         return true;
     }},
    {"--record", "", true, Bit(Command::Watch),
     [](CliOptions& o, std::string_view v, std::string& e) {
         if (v.empty() || v == "-") {
             e = "--record needs a file name for the animated PNG";
             return false;
         }
         o.record = v;
         return true;
     }},
    {"--scale", "", true, Bit(Command::Watch),
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetIntegerOption("--scale", v, 1, kMaxRecordScale, o.recordScale, e);
     }},
    {"--fast-timing", "", false, kAnyCommand,
     [](CliOptions& o, std::string_view, std::string&) {
         o.fastTiming = true;
         return true;
     }},
    {"--force", "", false, kAnyCommand,
     [](CliOptions& o, std::string_view, std::string&) {
         o.force = true;
         return true;
     }},
    {"--output", "-o", true, Bit(Command::Grab) | Bit(Command::Watch),
     [](CliOptions& o, std::string_view v, std::string& e) {
         if (v.empty()) {
             e = "-o needs a file name (or - for stdout)";
             return false;
         }
         o.output = v;
         return true;
     }},
    {"--display", "", true, Bit(Command::Grab) | Bit(Command::Checksum) | Bit(Command::Watch),
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetIntegerOption("--display", v, 0, 65535, o.display, e);
     }},
    {"--background", "", false, Bit(Command::Grab),
     [](CliOptions& o, std::string_view, std::string&) {
         o.background = true;
         return true;
     }},
    {"--region-checksum", "", true, Bit(Command::Grab),
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetRegionOption("--region-checksum", v, o.regionChecksum, e);
     }},
    {"--region", "", true, Bit(Command::Checksum) | kJudging,
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetRegionOption("--region", v, o.region, e) && AddComparisonRegion(o.compare, v, e);
     }},
    {"--ignore", "", true, kJudging,
     [](CliOptions& o, std::string_view v, std::string& e) { return AddIgnoredRegion(o.compare, v, e); }},
    {"--tolerance", "", true, kJudging,
     [](CliOptions& o, std::string_view v, std::string& e) { return SetTolerance(o.compare, v, e); }},
    {"--max-diff-pixels", "", true, kJudging,
     [](CliOptions& o, std::string_view v, std::string& e) { return SetMaxDiffPixels(o.compare, v, e); }},
    {"--diff", "", true, kComparing,
     [](CliOptions& o, std::string_view v, std::string& e) { return SetDiffFile(o.compare, v, e); }},
    {"--expect", "", true, Bit(Command::Grab),
     [](CliOptions& o, std::string_view v, std::string& e) { return SetExpectFile(o.compare, v, e); }},
    {"--every", "", true, Bit(Command::Grab),
     [](CliOptions& o, std::string_view v, std::string& e) { return SetEvery(o.compare, v, e); }},
    {"--changed-only", "", false, Bit(Command::Grab) | Bit(Command::Watch),
     [](CliOptions& o, std::string_view, std::string&) {
         o.compare.changedOnly = true;
         return true;
     }},
    {"--press", "", true, Bit(Command::Keys),
     [](CliOptions& o, std::string_view v, std::string& e) {
         int32_t ms = 0;
         bool ok = SetIntegerOption("--press", v, 0, kInt32Max, ms, e);
         o.pressMs = ms;
         return ok;
     }},
    {"--pause", "", true, Bit(Command::Keys),
     [](CliOptions& o, std::string_view v, std::string& e) {
         int32_t ms = 0;
         bool ok = SetIntegerOption("--pause", v, 0, kInt32Max, ms, e);
         o.pauseMs = ms;
         return ok;
     }},
    {"--count", "", true, Bit(Command::Listen) | Bit(Command::Grab) | Bit(Command::Watch),
     [](CliOptions& o, std::string_view v, std::string& e) {
         o.count = ParseInteger(v, 1, std::numeric_limits<int64_t>::max());
         if (!o.count) {
             e = "--count needs a whole number of at least 1, not '" + std::string(v) + "'";
         }
         return o.count.has_value();
     }},
    {"--seconds", "", true, Bit(Command::Listen) | Bit(Command::Grab) | Bit(Command::Watch),
     [](CliOptions& o, std::string_view v, std::string& e) {
         o.seconds = ParseSeconds(v);
         if (!o.seconds || *o.seconds <= 0) {
             e = "--seconds needs a positive number of seconds, not '" + std::string(v) + "'";
             return false;
         }
         return true;
     }},
    {"--full-every", "", true, Bit(Command::Watch),
     [](CliOptions& o, std::string_view v, std::string& e) { return SetFullEvery(o.fullEvery, v, e); }},
    {"--help", "-h", false, kAnyCommand,
     [](CliOptions& o, std::string_view, std::string&) {
         o.command = Command::Help;
         return true;
     }},
    {"--version", "", false, kAnyCommand,
     [](CliOptions& o, std::string_view, std::string&) {
         o.command = Command::Version;
         return true;
     }},
}};

const OptionSpec* FindOption(std::string_view name) {
    for (const OptionSpec& option : kOptions) {
        if (name == option.longName || (!option.shortName.empty() && name == option.shortName)) {
            return &option;
        }
    }
    return nullptr;
}

std::optional<Command> FindCommand(std::string_view word) {
    for (const CommandName& entry : kCommands) {
        if (entry.name == word) {
            return entry.command;
        }
    }
    return std::nullopt;
}

std::string_view NameOf(Command command) {
    for (const CommandName& entry : kCommands) {
        if (entry.command == command) {
            return entry.name;
        }
    }
    return "help";
}

// The words of the command line, sorted into options (applied at once) and positional words.
struct Scan {
    CliOptions options;
    bool helpAsked = false;
    std::vector<std::string> positional;
    std::vector<const OptionSpec*> seen;
};

bool ScanArguments(const std::vector<std::string>& args, Scan& scan, std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view word = args[i];
        if (optionsEnded || word.size() < 2 || word.front() != '-') {
            scan.positional.emplace_back(word); // a lone "-" is a word too
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string_view name = word;
        std::optional<std::string_view> inlineValue;
        if (std::size_t equals = word.find('='); word.starts_with("--") && equals != std::string_view::npos) {
            name = word.substr(0, equals);
            inlineValue = word.substr(equals + 1);
        }
        const OptionSpec* option = FindOption(name);
        if (option == nullptr) {
            error = "unknown option " + std::string(name);
            return false;
        }
        std::string_view value;
        if (option->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = std::string(name) + " needs a value";
                return false;
            }
        } else if (inlineValue) {
            error = std::string(name) + " takes no value";
            return false;
        }
        if (option->longName == "--help" || option->longName == "--version") {
            scan.helpAsked = true;
        }
        if (!option->apply(scan.options, value, error)) {
            return false;
        }
        scan.seen.push_back(option);
    }
    return true;
}

bool CheckOptionsFitCommand(const Scan& scan, Command command, std::string& error) {
    for (const OptionSpec* option : scan.seen) {
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
    Scan scan;
    if (!ScanArguments(args, scan, outcome.error)) {
        return outcome;
    }
    if (scan.helpAsked) { // --help or --version, whichever came last, whatever else is there
        outcome.options = scan.options;
        return outcome;
    }
    if (scan.positional.empty()) {
        outcome.error = "no command given";
        return outcome;
    }
    std::optional<Command> command = FindCommand(scan.positional.front());
    if (!command) {
        outcome.error = "unknown command '" + scan.positional.front() + "'";
        return outcome;
    }
    scan.positional.erase(scan.positional.begin());
    scan.options.command = *command;
    if (!CheckOptionsFitCommand(scan, *command, outcome.error) ||
        !TakeText(*command, scan.positional, scan.options, outcome.error) ||
        !CheckCombinations(scan.options, outcome.error)) {
        return outcome;
    }
    // grab --expect and --every write a file only when -o names one.
    if (scan.options.command == Command::Grab && scan.options.output.empty() &&
        scan.options.compare.expectFile.empty() && !scan.options.compare.every) {
        scan.options.output = kDefaultGrabFile;
    }
    outcome.options = scan.options;
    return outcome;
}

} // namespace panelgrab::cli
