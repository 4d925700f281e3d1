#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/comparison_arguments.h"
#include "common/display_region.h"

namespace panelgrab::cli {

enum class Command {
    Help,
    Version,
    Ports,
    Send,
    Model,
    Displays,
    Grab,
    Checksum,
    Keys,
    Listen,
    Gui,
    Compare,
    Watch
};

inline constexpr int32_t kDefaultBaud = 115200;
// watch --scale: the most each pixel of a recording is enlarged.
inline constexpr int32_t kMaxRecordScale = 8;
// What grab writes when no -o is given.
inline constexpr const char* kDefaultGrabFile = "panelgrab-capture.bmp";

// Everything the command line says, checked: a value here is always usable as it is.
struct CliOptions {
    Command command = Command::Help;
    std::optional<Command> helpTopic; // help: the command whose help to print, none for the overall help
    std::string port;                 // empty only for commands that need no phone
    int32_t baud = kDefaultBaud;
    bool baudAuto = false; // --baud auto: the first rate at which the phone answers
    bool trace = false;
    std::string recordSession; // --record-session: the session file, empty for none
    bool fastTiming = false;   // shrunk port timing, for tests against the simulated phone
    bool force = false;        // open a local port that another program holds open

    std::string text;   // send: the command with its escapes decoded; keys: the keys as typed
    std::string output; // grab: the file, "-" for stdout
    int32_t display = 0;
    std::optional<DisplayRegion> region;         // checksum --region
    std::optional<DisplayRegion> regionChecksum; // grab --region-checksum
    bool background = false;                     // grab --background
    std::optional<int32_t> pressMs;              // keys --press
    std::optional<int32_t> pauseMs;              // keys --pause
    std::optional<int64_t> count;                // listen, grab --every, watch: --count
    std::optional<double> seconds;               // listen, grab --every, watch: --seconds
    std::optional<double> fullEvery;             // watch --full-every SECONDS
    std::string record;                          // watch --record: the animated PNG
    int32_t recordScale = 1;                     // watch --scale
    ComparisonArguments compare;                 // compare, grab --expect / --every
};

struct ParseOutcome {
    std::optional<CliOptions> options; // none: a usage error, described in `error`
    std::string error;
};

// Parses the arguments after the program name. Options may stand before or after the command;
// "--" ends the options, so a TEXT may begin with a dash. --help and --version win over an
// incomplete command line, but not over a malformed option or an unknown command.
ParseOutcome ParseArguments(const std::vector<std::string>& args);

// True for the commands that talk to a phone (and so need --port).
bool NeedsPhone(Command command);

} // namespace panelgrab::cli
