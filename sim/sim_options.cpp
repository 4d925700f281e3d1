// Command-line options of the simulated phone.
#include <charconv>
#include <map>
#include <string_view>
#include <utility>

#include <CLI/CLI.hpp>

#include "common/cli11_arguments.h"

#include "sim/fault_plan.h"
#include "sim/screen_animation.h"
#include "sim/simulated_phone.h"

namespace panelgrab::sim {
namespace {

constexpr int kMaxSide = 1024;
constexpr int kMaxBaud = 4000000;

bool ParseInt(std::string_view text, int low, int high, int& value) {
    int parsed = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (text.empty() || ec != std::errc() || ptr != end || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

bool ParseDialect(std::string_view text, Dialect& dialect) {
    struct Name {
        const char* text;
        Dialect dialect;
    };
    static constexpr Name kNames[] = {{"long", Dialect::Long},
                                      {"long-range", Dialect::LongRange},
                                      {"two-displays", Dialect::TwoDisplays},
                                      {"short", Dialect::Short},
                                      {"per-line", Dialect::PerLine}};
    for (const Name& name : kNames) {
        if (text == name.text) {
            dialect = name.dialect;
            return true;
        }
    }
    return false;
}

// "WxH:BPP", e.g. "176x220:16".
bool ParseDisplay(std::string_view text, SimDisplay& display) {
    const std::size_t x = text.find('x');
    const std::size_t colon = text.find(':');
    if (x == std::string_view::npos || colon == std::string_view::npos || colon < x) {
        return false;
    }
    SimDisplay parsed;
    if (!ParseInt(text.substr(0, x), 1, kMaxSide, parsed.width) ||
        !ParseInt(text.substr(x + 1, colon - x - 1), 1, kMaxSide, parsed.height) ||
        !ParseInt(text.substr(colon + 1), 1, 16, parsed.bitsPerPixel)) {
        return false;
    }
    const int bpp = parsed.bitsPerPixel;
    if (bpp != 1 && bpp != 2 && bpp != 8 && bpp != 16) {
        return false;
    }
    display = parsed;
    return true;
}

// "key,value;key,value": each report needs a comma; the key is the text before the last one.
bool ValidKeyScript(std::string_view script) {
    while (!script.empty()) {
        const std::size_t semicolon = script.find(';');
        const std::string_view report = script.substr(0, semicolon);
        const std::size_t comma = report.rfind(',');
        if (comma == std::string_view::npos || comma + 1 >= report.size()) {
            return false;
        }
        if (semicolon == std::string_view::npos) {
            break;
        }
        script.remove_prefix(semicolon + 1);
    }
    return true;
}

// The display counts and formats each dialect can describe.
bool CheckDisplays(const SimOptions& options, std::string& error) {
    const auto& displays = options.displays;
    if (displays.empty()) {
        return true;
    }
    const bool two = options.dialect == Dialect::TwoDisplays;
    if (two && displays.size() != 2) {
        error = "the two-displays dialect needs two --display options (or none for its defaults)";
        return false;
    }
    if (!two && displays.size() != 1) {
        error = "only the two-displays dialect describes a second display";
        return false;
    }
    const SimDisplay& first = displays.front();
    if (options.dialect == Dialect::Short && first.bitsPerPixel != 16) {
        error = "the short dialect describes 16-bit displays only";
        return false;
    }
    // A client of the per-line dialect takes a 128x160 display for 16 bits whatever line 0 says.
    if (options.dialect == Dialect::PerLine && first.width == 128 && first.height == 160 &&
        first.bitsPerPixel != 16) {
        error = "a 128x160 display of the per-line dialect must have 16 bits per pixel";
        return false;
    }
    return true;
}

bool ParseDisplayOption(SimOptions& options, const std::string& value, std::string& error) {
    SimDisplay display;
    if (!ParseDisplay(value, display)) {
        return false;
    }
    if (options.displays.size() >= 2) {
        error = "at most two --display options";
        return false;
    }
    options.displays.push_back(display);
    return true;
}

// --animate alone is a switch; --animate=PARTS names the parts.
bool ParseAnimate(SimOptions& options, const std::string& value, std::string&) {
    if (value == "true") {
        options.animation.clock = true;
        options.animation.highlight = true;
        return true;
    }
    return ParseAnimationParts(value, options.animation);
}

template <bool SimOptions::*kField, bool kValue>
bool Switch(SimOptions& options, const std::string&, std::string&) {
    options.*kField = kValue;
    return true;
}

using SimApplier = bool (*)(SimOptions&, const std::string& value, std::string& error);

// One option: its name, the name of its value (empty for a switch, which refuses a value; null for
// a switch that takes one as --name=VALUE), the help's words for it and what it sets.
struct SimOptionEntry {
    const char* name;
    const char* valueName;
    const char* description;
    const char* refusal; // what a refused value should have been, or null when the applier says
    SimApplier apply;
};

// Every option, in the help's order. A new option gets a line here.
const SimOptionEntry kSimOptions[] = {
    {"--dialect", "NAME",
     "how AT*ZISI=? describes the displays:\n"
     "  long          \"*ZISI: 220, 176, 16\" (height, width, bits per pixel)\n"
     "  long-range    the same followed by \", (0 - 1)\"\n"
     "  two-displays  \"*ZISI: 220, 176, 16, (0 - 1), 64, 96, 16\"\n"
     "  short         \"*ZISI: (160),(128),(16)\" (16 bits, 4 characters a pixel)\n"
     "  per-line      AT*ZISI=? answers ERROR; lines come with AT*ZIPI=line,first,last\n"
     "The long forms send 2- and 16-bit pixels as 8 characters \"00RRGGBB\" and every\n"
     "line as 8 characters a pixel (1- and 8-bit pixels packed at its start, then '0').",
     "expected long, long-range, two-displays, short or per-line",
     [](SimOptions& o, const std::string& v, std::string&) { return ParseDialect(v, o.dialect); }},
    {"--display", "WxH:BPP",
     "a display's width, height and bits per pixel (1, 2, 8 or 16); give it twice for\n"
     "two-displays. Defaults: 176x220:16 (and 96x64:16 as the second display);\n"
     "short: 128x160:16.",
     "expected WIDTHxHEIGHT:BPP with sides 1-1024 and 1, 2, 8 or 16 bits", ParseDisplayOption},
    {"--model", "TEXT", "the AT+CGMM answer (default PANELSIM-P200; AT+CGMI gives the part before '-')",
     "the model must not be empty",
     [](SimOptions& o, const std::string& v, std::string&) {
         o.model = v;
         return !v.empty();
     }},
    {"--picture", "FILE",
     "show a BMP or PNG picture (cropped or padded with black at the right and bottom)\n"
     "instead of the built-in test card",
     "expected a BMP or PNG file",
     [](SimOptions& o, const std::string& v, std::string&) {
         o.picturePath = v;
         return !v.empty();
     }},
    {"--baud", "N", "send everything at N baud (10 bits a byte, on an absolute schedule); 0: unpaced",
     "expected 0 (unpaced) up to 4000000",
     [](SimOptions& o, const std::string& v, std::string&) { return ParseInt(v, 0, kMaxBaud, o.baud); }},
    {"--strict-baud", "",
     "answer only a client whose line is set to the --baud rate (a pseudo-terminal\n"
     "tells the phone the rate the client set); at any other rate each piece the\n"
     "client sends is lost and a few bytes of noise come back, as on a real line",
     nullptr, Switch<&SimOptions::strictBaud, true>},
    {"--replay", "FILE",
     "play back a recorded session (panelgrab-cli --record-session) instead of\n"
     "being a phone: each command is matched by its text with the next recorded\n"
     "command of that text and answered with what followed it, reports sent\n"
     "unasked included; a command the recording lacks is answered ERROR and\n"
     "named on stderr. --baud and --chunk still pace what is sent.",
     "expected a session file",
     [](SimOptions& o, const std::string& v, std::string&) {
         o.replayPath = v;
         return !v.empty();
     }},
    {"--replay-timing", "WHEN",
     "recorded (default): each answer and report after its recorded gap to the\n"
     "command; fast: at once",
     "expected recorded or fast",
     [](SimOptions& o, const std::string& v, std::string&) {
         o.replayFast = v == "fast";
         return v == "fast" || v == "recorded";
     }},
    {"--chunk", "N", "write answers in pieces of N bytes (1 ms apart when unpaced)",
     "expected a byte count, 0 for whole writes",
     [](SimOptions& o, const std::string& v, std::string&) { return ParseInt(v, 0, 1 << 20, o.chunk); }},
    {"--no-echo", "", "start with command echo off (ATE0/ATE1 switch it)", nullptr,
     Switch<&SimOptions::echo, false>},
    {"--echo", "", "start with command echo on (the default)", nullptr, Switch<&SimOptions::echo, true>},
    {"--key-events", "SCRIPT",
     "+CKEV reports sent while AT+CMER=3,2,0,0 is on, e.g. \"5,1;5,0;*,1;*,0\"; the key\n"
     "is the text before the last comma. The script restarts each time reporting\n"
     "is switched on and stops when it is switched off.",
     "expected reports KEY,VALUE separated by ';'",
     [](SimOptions& o, const std::string& v, std::string&) {
         o.keyEvents = v;
         return ValidKeyScript(v);
     }},
    {"--key-event-pause", "MS", "pause between scripted reports (default 200)",
     "expected milliseconds 0-60000",
     [](SimOptions& o, const std::string& v, std::string&) {
         return ParseInt(v, 0, 60000, o.keyEventPauseMs);
     }},
    {"--unsolicited", "",
     "speak unasked, as real phones do: put reports (+CIEV, +CMTI, RING, +CREG)\n"
     "between the echo and the answer, before every per-line answer and after every\n"
     "7th picture line; with reporting on, report AT+CKPD presses before the OK",
     nullptr, Switch<&SimOptions::unsolicited, true>},
    {"--gui-object", "TEXT",
     "the quoted fields of the AT*ZGUI=0 answer after \"*ZGUI: \"\n"
     "(default \"Form\",\"Title\",\"L\",\"R\",\"P\",\"V\")",
     nullptr,
     [](SimOptions& o, const std::string& v, std::string&) {
         o.guiObject = v;
         return true;
     }},
    {"--animate", nullptr,
     "(also --animate=PARTS) make display 0 change by itself, one step every\n"
     "--animate-period: a clock (steps since the start as MM:SS, white on black, in\n"
     "the box W-36,2,W-3,10 of a W pixels wide display) and a highlight (colours\n"
     "inverted) moving down the list rows (the test card's text lines, 9 pixels\n"
     "high from H*5/8+1, at most four). PARTS, comma-separated: clock, highlight\n"
     "(these two are the default), and changes hard for checksums in rows 100-107:\n"
     "rows (two rows trading contents), pixels (two pixels of a row trading\n"
     "values), block (a block moving one pixel), checker (a 2x2 checkerboard\n"
     "flipping)",
     "expected parts among clock, highlight, rows, pixels, block, checker", ParseAnimate},
    {"--animate-period", "MS", "how long one animation step lasts (default 1000; 10-3600000)",
     "expected milliseconds 10-3600000",
     [](SimOptions& o, const std::string& v, std::string&) {
         return ParseInt(v, 10, 3600000, o.animation.periodMs);
     }},
    {"--watch-picture", "",
     "re-read the --picture file whenever it changes (looked at on every picture,\n"
     "line and checksum request). Replace it atomically (write another file, then\n"
     "rename it over); a file that cannot be read leaves the last picture shown.",
     nullptr, Switch<&SimOptions::watchPicture, true>},
    {"--fault", "NAME",
     "misbehave in one way:\n"
     "  silent           read commands, never answer\n"
     "  error-bulk       answer the picture requests AT*ZISI and AT*ZISI=n with ERROR\n"
     "  hangup-after=N   vanish (close the line) after sending N bytes\n"
     "  garbage          send a few bytes of line noise after every answer\n"
     "  endless-line     the picture answer is one line of digits that never ends\n"
     "                   (until the next command arrives)\n"
     "  nul-bytes        sprinkle NUL bytes into every answer\n"
     "  stall-after=N    stop sending for good after N bytes, even mid-answer\n"
     "  huge-display     describe the display as 60000x60000 pixels\n"
     "  no-checksum      answer AT*ZAPC (the test form and every request) with ERROR\n"
     "  cme-errors       refuse with \"+CME ERROR: 100\" instead of \"ERROR\"\n"
     "  late-answer=MS   answer the first checksum request of a region MS ms late",
     nullptr,
     [](SimOptions& o, const std::string& v, std::string& e) {
         FaultPlan plan;
         o.fault = v;
         return ParseFault(v, plan, e);
     }},
};

constexpr const char* kSimNotes =
    R"HELP(Checksums: AT*ZAPC=l,t,r,b[,d] answers "*ZAPC: "XXXXXXXX"", the 32-bit wrapping local checksum (as
panelgrab computes it from received picture text) over the phone's own picture text of display d.
Every picture, line and checksum answer uses what the display shows when the command arrives.
Key presses: AT+CKPD="keys"[,time,pause] answers OK; with reporting on, each key (one character,
or ':' and the next character) is reported pressed and released, 30 ms apart, after the OK.
)HELP";

constexpr const char* kSimGroup = "Simulated phone options (each also as --name=value)";
// Wide enough for "--key-event-pause MS" and a space.
constexpr std::size_t kSimOptionColumn = 24;

// The options as CLI11 knows them, each beside its entry of the table.
struct SimCommandLine {
    CLI::App app;
    std::vector<std::pair<const CLI::Option*, const SimOptionEntry*>> options;
};

void BuildSimCommandLine(SimCommandLine& line) {
    line.app.set_help_flag();
    line.app.allow_extras();
    for (const SimOptionEntry& entry : kSimOptions) {
        const std::string description = entry.description;
        CLI::Option* option = nullptr;
        if (entry.valueName == nullptr) { // a switch that may name a value: --name=VALUE
            option = line.app.add_flag(entry.name, description);
        } else if (*entry.valueName == '\0') {
            option = line.app.add_flag(entry.name, description)->disable_flag_override();
        } else {
            option = line.app.add_option(entry.name, description)
                         ->type_name(entry.valueName)
                         ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        }
        option->group(kSimGroup);
        line.options.emplace_back(option, &entry);
    }
}

const SimOptionEntry* EntryOf(const SimCommandLine& line, const CLI::Option* option) {
    for (const auto& [known, entry] : line.options) {
        if (known == option) {
            return entry;
        }
    }
    return nullptr;
}

// Applies the options in the order given, so that a later one wins (--echo after --no-echo).
bool ApplyInOrder(const SimCommandLine& line, SimOptions& options, std::string& error) {
    std::map<const CLI::Option*, std::size_t> taken;
    for (const CLI::Option* option : line.app.parse_order()) {
        const std::string& value = option->results().at(taken[option]++);
        const SimOptionEntry& entry = *EntryOf(line, option);
        if (!entry.apply(options, value, error)) {
            if (error.empty()) {
                error = "invalid value \"" + value + "\" for " + entry.name + ": " + entry.refusal;
            }
            return false;
        }
    }
    return true;
}

bool CheckLeftovers(const SimCommandLine& line, std::string& error) {
    const std::vector<std::string> leftovers = line.app.remaining();
    if (leftovers.empty()) {
        return true;
    }
    const std::string& word = leftovers.front();
    error = word.starts_with("-") ? "unknown option " + word.substr(0, word.find('='))
                                  : "unexpected argument " + word;
    return false;
}

bool CheckCombinations(const SimOptions& options, std::string& error) {
    if (!CheckDisplays(options, error)) {
        return false;
    }
    if (options.watchPicture && options.picturePath.empty()) {
        error = "--watch-picture needs --picture FILE";
        return false;
    }
    if (options.strictBaud && options.baud == 0) {
        error = "--strict-baud needs the phone's own rate: give --baud N";
        return false;
    }
    return true;
}

} // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
    SimCommandLine line;
    BuildSimCommandLine(line);
    try {
        line.app.parse(Cli11Arguments(args));
    } catch (const CLI::ParseError& failure) {
        error = Cli11ErrorText(failure.what());
        return false;
    }
    SimOptions parsed = options;
    if (!CheckLeftovers(line, error) || !ApplyInOrder(line, parsed, error) ||
        !CheckCombinations(parsed, error)) {
        return false;
    }
    options = parsed;
    return true;
}

std::string SimOptionsHelp() {
    SimCommandLine line;
    BuildSimCommandLine(line);
    CLI::Formatter formatter;
    formatter.column_width(kSimOptionColumn);
    // The list without its leading blank line, then the notes.
    return formatter.make_groups(&line.app, CLI::AppFormatMode::Normal).substr(1) + kSimNotes;
}

} // namespace panelgrab::sim
