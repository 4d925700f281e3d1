// Command-line options of the simulated phone.
#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

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

struct OptionValue {
    std::string name;
    std::string value;
    bool hasValue = false;
};

bool Apply(const OptionValue& option, SimOptions& options, std::string& error) {
    const std::string& name = option.name;
    const std::string& value = option.value;
    const auto bad = [&](const char* what) {
        error = "invalid value \"" + value + "\" for " + name + ": " + what;
        return false;
    };
    if (name == "--dialect") {
        return ParseDialect(value, options.dialect) ||
               bad("expected long, long-range, two-displays, short or per-line");
    }
    if (name == "--display") {
        SimDisplay display;
        if (!ParseDisplay(value, display)) {
            return bad("expected WIDTHxHEIGHT:BPP with sides 1-1024 and 1, 2, 8 or 16 bits");
        }
        if (options.displays.size() >= 2) {
            error = "at most two --display options";
            return false;
        }
        options.displays.push_back(display);
        return true;
    }
    if (name == "--model") {
        options.model = value;
        return !value.empty() || bad("the model must not be empty");
    }
    if (name == "--picture") {
        options.picturePath = value;
        return !value.empty() || bad("expected a BMP or PNG file");
    }
    if (name == "--baud") {
        return ParseInt(value, 0, kMaxBaud, options.baud) || bad("expected 0 (unpaced) up to 4000000");
    }
    if (name == "--chunk") {
        return ParseInt(value, 0, 1 << 20, options.chunk) || bad("expected a byte count, 0 for whole writes");
    }
    if (name == "--key-events") {
        options.keyEvents = value;
        return ValidKeyScript(value) || bad("expected reports KEY,VALUE separated by ';'");
    }
    if (name == "--key-event-pause") {
        return ParseInt(value, 0, 60000, options.keyEventPauseMs) || bad("expected milliseconds 0-60000");
    }
    if (name == "--fault") {
        FaultPlan plan;
        options.fault = value;
        return ParseFault(value, plan, error);
    }
    if (name == "--animate-period") {
        return ParseInt(value, 10, 3600000, options.animation.periodMs) ||
               bad("expected milliseconds 10-3600000");
    }
    if (name == "--gui-object") {
        options.guiObject = value;
        return true;
    }
    if (name == "--replay") {
        options.replayPath = value;
        return !value.empty() || bad("expected a session file");
    }
    if (name == "--replay-timing") {
        options.replayFast = value == "fast";
        return value == "fast" || value == "recorded" || bad("expected recorded or fast");
    }
    error = "unknown option " + name;
    return false;
}

bool TakesNoValue(const std::string& name) {
    return name == "--no-echo" || name == "--echo" || name == "--unsolicited" || name == "--strict-baud";
}

// The options Apply knows, all with a value.
bool TakesValue(const std::string& name) {
    static constexpr std::string_view kNames[] = {
        "--dialect",    "--display",    "--model",           "--picture", "--baud",
        "--chunk",      "--key-events", "--key-event-pause", "--fault",   "--animate-period",
        "--gui-object", "--replay",     "--replay-timing"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Switches whose value, if any, is given only as --name=value.
bool ApplySwitch(const std::string& arg, std::size_t equals, SimOptions& options, std::string& error) {
    const std::string name = arg.substr(0, equals);
    const bool hasValue = equals != std::string::npos;
    if (name == "--watch-picture") {
        options.watchPicture = true;
        if (hasValue) {
            error = name + " takes no value";
        }
        return !hasValue;
    }
    if (!hasValue) {
        options.animation.clock = true;
        options.animation.highlight = true;
        return true;
    }
    const std::string value = arg.substr(equals + 1);
    if (!ParseAnimationParts(value, options.animation)) {
        error = "invalid value \"" + value +
                "\" for --animate: expected parts among clock, highlight, rows, pixels, block, "
                "checker";
        return false;
    }
    return true;
}

bool IsSwitch(const std::string& name) {
    return name == "--animate" || name == "--watch-picture";
}

} // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
    SimOptions parsed = options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        OptionValue option;
        const std::size_t equals = args[i].find('=');
        option.name = args[i].substr(0, equals);
        if (IsSwitch(option.name)) {
            if (!ApplySwitch(args[i], equals, parsed, error)) {
                return false;
            }
            continue;
        }
        if (TakesNoValue(option.name)) {
            if (equals != std::string::npos) {
                error = option.name + " takes no value";
                return false;
            }
            if (option.name == "--unsolicited") {
                parsed.unsolicited = true;
            } else if (option.name == "--strict-baud") {
                parsed.strictBaud = true;
            } else {
                parsed.echo = option.name == "--echo";
            }
            continue;
        }
        if (option.name.rfind("--", 0) == 0 && !TakesValue(option.name)) {
            error = "unknown option " + option.name;
            return false;
        }
        if (equals != std::string::npos) {
            option.value = args[i].substr(equals + 1);
        } else if (option.name.rfind("--", 0) == 0 && i + 1 < args.size()) {
            option.value = args[++i];
        } else {
            error = option.name.rfind("--", 0) == 0 ? option.name + " needs a value"
                                                    : "unexpected argument " + option.name;
            return false;
        }
        if (!Apply(option, parsed, error)) {
            return false;
        }
    }
    if (!CheckDisplays(parsed, error)) {
        return false;
    }
    if (parsed.watchPicture && parsed.picturePath.empty()) {
        error = "--watch-picture needs --picture FILE";
        return false;
    }
    if (parsed.strictBaud && parsed.baud == 0) {
        error = "--strict-baud needs the phone's own rate: give --baud N";
        return false;
    }
    options = parsed;
    return true;
}

std::string SimOptionsHelp() {
    return R"HELP(Simulated phone options (each also as --name=value):
  --dialect NAME        how AT*ZISI=? describes the displays:
                          long          "*ZISI: 220, 176, 16" (height, width, bits per pixel)
                          long-range    the same followed by ", (0 - 1)"
                          two-displays  "*ZISI: 220, 176, 16, (0 - 1), 64, 96, 16"
                          short         "*ZISI: (160),(128),(16)" (16 bits, 4 characters a pixel)
                          per-line      AT*ZISI=? answers ERROR; lines come with AT*ZIPI=line,first,last
                        The long forms send 2- and 16-bit pixels as 8 characters "00RRGGBB" and every
                        line as 8 characters a pixel (1- and 8-bit pixels packed at its start, then '0').
  --display WxH:BPP     a display's width, height and bits per pixel (1, 2, 8 or 16); give it twice for
                        two-displays. Defaults: 176x220:16 (and 96x64:16 as the second display);
                        short: 128x160:16.
  --model TEXT          the AT+CGMM answer (default PANELSIM-P200; AT+CGMI gives the part before '-')
  --picture FILE        show a BMP or PNG picture (cropped or padded with black at the right and bottom)
                        instead of the built-in test card
  --baud N              send everything at N baud (10 bits a byte, on an absolute schedule); 0: unpaced
  --strict-baud         answer only a client whose line is set to the --baud rate (a pseudo-terminal
                        tells the phone the rate the client set); at any other rate each piece the
                        client sends is lost and a few bytes of noise come back, as on a real line
  --replay FILE         play back a recorded session (panelgrab-cli --record-session) instead of
                        being a phone: each command is matched by its text with the next recorded
                        command of that text and answered with what followed it, reports sent
                        unasked included; a command the recording lacks is answered ERROR and
                        named on stderr. --baud and --chunk still pace what is sent.
  --replay-timing WHEN  recorded (default): each answer and report after its recorded gap to the
                        command; fast: at once
  --chunk N             write answers in pieces of N bytes (1 ms apart when unpaced)
  --no-echo, --echo     start with command echo off or on (ATE0/ATE1 switch it)
  --key-events SCRIPT   +CKEV reports sent while AT+CMER=3,2,0,0 is on, e.g. "5,1;5,0;*,1;*,0"; the key
                        is the text before the last comma. The script restarts each time reporting
                        is switched on and stops when it is switched off.
  --key-event-pause MS  pause between scripted reports (default 200)
  --unsolicited         speak unasked, as real phones do: put reports (+CIEV, +CMTI, RING, +CREG)
                        between the echo and the answer, before every per-line answer and after every
                        7th picture line; with reporting on, report AT+CKPD presses before the OK
  --gui-object TEXT     the quoted fields of the AT*ZGUI=0 answer after "*ZGUI: "
                        (default "Form","Title","L","R","P","V")
  --animate[=PARTS]     make display 0 change by itself, one step every --animate-period: a clock
                        (steps since the start as MM:SS, white on black, in the box
                        W-36,2,W-3,10 of a W pixels wide display) and a highlight (colours
                        inverted) moving down the list rows (the test card's text lines, 9 pixels
                        high from H*5/8+1, at most four). PARTS, comma-separated: clock,
                        highlight (these two are the default), and changes hard for checksums in
                        rows 100-107: rows (two rows trading contents), pixels (two pixels of a
                        row trading values), block (a block moving one pixel), checker (a 2x2
                        checkerboard flipping)
  --animate-period MS   how long one animation step lasts (default 1000; 10-3600000)
  --watch-picture       re-read the --picture file whenever it changes (looked at on every picture,
                        line and checksum request). Replace it atomically (write another file, then
                        rename it over); a file that cannot be read leaves the last picture shown.
  --fault NAME          misbehave in one way:
                          silent           read commands, never answer
                          error-bulk       answer the picture requests AT*ZISI and AT*ZISI=n with ERROR
                          hangup-after=N   vanish (close the line) after sending N bytes
                          garbage          send a few bytes of line noise after every answer
                          endless-line     the picture answer is one line of digits that never ends
                                           (until the next command arrives)
                          nul-bytes        sprinkle NUL bytes into every answer
                          stall-after=N    stop sending for good after N bytes, even mid-answer
                          huge-display     describe the display as 60000x60000 pixels
                          no-checksum      answer AT*ZAPC (the test form and every request) with ERROR
                          cme-errors       refuse with "+CME ERROR: 100" instead of "ERROR"
                          late-answer=MS   answer the first checksum request of a region MS ms late
Checksums: AT*ZAPC=l,t,r,b[,d] answers "*ZAPC: "XXXXXXXX"", the 32-bit wrapping local checksum (as
panelgrab computes it from received picture text) over the phone's own picture text of display d.
Every picture, line and checksum answer uses what the display shows when the command arrives.
Key presses: AT+CKPD="keys"[,time,pause] answers OK; with reporting on, each key (one character,
or ':' and the next character) is reported pressed and released, 30 ms apart, after the OK.
)HELP";
}

} // namespace panelgrab::sim
