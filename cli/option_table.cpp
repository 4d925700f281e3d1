#include "cli/option_table.h"

#include <limits>

#include "cli/comparison_arguments.h"
#include "cli/value_parsing.h"
#include "cli/watch_arguments.h"
#include "session/ports.h"

namespace panelgrab::cli {

namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// The commands in the order the help lists them. A new command gets a line here, a value in
// Command and its call in cli_runner.cpp.
constexpr CommandEntry kCommandTable[] = {
    {"ports", Command::Ports, "List this computer's own serial ports; no port is opened.", "",
     R"HELP(One line per port: the path, then what is known (USB vendor:product, maker, product, serial
number, /dev/serial/by-id link). Ports on other machines (tcp://, rfc2217://) are not listed.)HELP"},
    {"send", Command::Send, "Send TEXT as it is and print the phone's whole answer.", "TEXT",
     R"HELP(The answer is printed whole (echo included), also one that ends in ERROR (exit 1). TEXT
understands the escapes \r \n \t \\ \" \' and \xHH; end it with \r, as the phone expects:
  panelgrab-cli --port sim send 'AT+CGMI\r')HELP"},
    {"model", Command::Model, "Print the phone's model.", "", ""},
    {"displays", Command::Displays, "One line per display: its size, bits per pixel and number.", "",
     R"HELP(One line per display: "Screen N (WxH)", then bits per pixel, characters per line and the
display number.)HELP"},
    {"grab", Command::Grab, "Read a display and write it as a BMP or PNG file.", "",
     R"HELP(Reads display N and writes it to FILE; the folder of FILE is checked before the read. When
stderr is a terminal a progress bar shows the lines received of total, the rate and the time left.

--every ends after N pictures or S seconds (whichever comes first), on Ctrl-C or SIGTERM (a
picture still being read is dropped), or when stdout is closed; every file written is whole, and
a line on stderr says how many pictures were taken and written. With --changed-only the gaps in
the numbers are the pictures that did not change.

--region, --ignore, --tolerance and --max-diff-pixels tune the comparison. A region L,T,R,B is
left, top, right and bottom in pixels, all inclusive.)HELP"},
    {"checksum", Command::Checksum, "Print the phone's own checksum of a region.", "",
     R"HELP(A region L,T,R,B is left, top, right and bottom in display pixels, all inclusive, 0 to 65535.
Checksums are printed as unsigned decimal numbers.)HELP"},
    {"keys", Command::Keys, "Press the keys of TEXT on the phone.", "TEXT",
     R"HELP(Presses the keys with AT+CKPD. With --press and --pause each key is held and released for
that long.)HELP"},
    {"listen", Command::Listen, "Print each key event of the phone.", "",
     R"HELP(One event a line, "pressed KEY" or "released KEY". Ends after N events, S seconds or Ctrl-C;
the phone's key reporting is always switched off.)HELP"},
    {"watch", Command::Watch, "Keep a display's picture current, re-reading only what changed.", "",
     R"HELP(Reads the display whole, then refreshes it again and again, asking the phone for checksums of
bands of rows and columns and re-reading only the changed columns of the lines that changed. Since
a change that keeps every row's and column's sum is not seen, it is read whole again every
--full-every seconds. One line per refresh on stdout: "time_s=T lines=L pixels=P bytes=B
checksums=C ms=M", and " full" after a full read. With -o each change is written once a refresh
has found nothing left to mend of it, under that refresh's number (" file=NAME" on its line). Ends
after N refreshes or S seconds, on Ctrl-C or SIGTERM, or when stdout is closed; the last line on
stderr counts refreshes, full reads and pictures written.

--region, --ignore, --tolerance and --max-diff-pixels tune the comparison. A region L,T,R,B is
left, top, right and bottom in pixels, all inclusive.)HELP"},
    {"compare", Command::Compare, "Compare two picture files pixel by pixel; needs no phone.",
     "REFERENCE PICTURE",
     R"HELP(Compares two BMP or PNG files (told apart by their content). Prints one line: "match", or
"differ: N pixels in (L,T)-(R,B), largest channel difference D", or that the sizes differ.

--region, --ignore, --tolerance and --max-diff-pixels tune the comparison. A region L,T,R,B is
left, top, right and bottom in pixels, all inclusive.)HELP"},
    {"gui", Command::Gui, "Print the phone's current GUI object as KEY=VALUE lines.", "",
     R"HELP(Sorted by key. Control characters in a value are shown as \r \n \t or \xHH, and a backslash
as \\.)HELP"},
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

template <bool CliOptions::*kField> bool Switch(CliOptions& options, std::string_view, std::string&) {
    options.*kField = true;
    return true;
}

// A file or port name: anything but empty.
bool SetName(std::string& target, std::string_view value, const char* refusal, std::string& error) {
    if (value.empty()) {
        error = refusal;
        return false;
    }
    target = value;
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

// Every option. A new one gets a line here (and its field in CliOptions); the parser, the help of
// each command it names and the "does not apply" check all take it from this table.
const OptionEntry kOptionTable[] = {
    {"--port", "", "NAME", kAnyCommand,
     "The phone's port, needed by every command but ports and compare. A\n"
     "path is used as it is (/dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-\n"
     "terminal); a bare name means /dev/NAME; COMn means /dev/ttyS(n-1).\n"
     "tcp://HOST:PORT and rfc2217://HOST:PORT: a port on another machine\n"
     "through ser2net, raw or with RFC 2217. sim: the built-in simulated\n"
     "phone; sim:OPTIONS: with panelgrab-phonesim's options joined by\n"
     "commas, each with its leading --, e.g.\n"
     "  --port sim:--dialect=two-displays,--no-echo\n"
     "Only \",--\" starts a new option, so a value may hold commas.",
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetName(o.port, v, "--port needs a port name", e);
     }},
    {"--baud", "", "RATE", kAnyCommand,
     "Baud rate (default 115200), from 50 to 4000000. auto: try 921600 down\n"
     "to 1200 baud with \"AT\" (each try about a second; a phone that answers\n"
     "at no rate is given up after about 13 s), use the first that answers\n"
     "OK and say which on stderr.",
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
    {"--trace", "", "", kAnyCommand,
     "Print every command sent (\"> \") and every answer received (\"< \") on\n"
     "stderr, with CR and LF shown as \\r and \\n; reports the phone sent\n"
     "unasked (+CKEV, RING, ...) are kept out of answers and shown as \"! \"\n"
     "when a listener got them, \"- \" when nobody listened.",
     Switch<&CliOptions::trace>},
    {"--record-session", "", "FILE", kAnyCommand,
     "Record every command sent, answer received and report sent unasked,\n"
     "with times, in a text file a person can read and edit\n"
     "(docs/SESSIONS.md); panelgrab-phonesim --replay FILE plays it back as\n"
     "a phone.",
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetName(o.recordSession, v, "--record-session needs a file name", e);
     }},
    {"--record", "", "FILE", Bit(Command::Watch),
     "Record what the display shows as an animated PNG: a frame whenever the\n"
     "picture changed, lasting as long as it stayed (a screen that never\n"
     "changes is one frame). FILE is written whole when the watch ends, also\n"
     "on Ctrl-C.",
     [](CliOptions& o, std::string_view v, std::string& e) {
         if (v.empty() || v == "-") {
             e = "--record needs a file name for the animated PNG";
             return false;
         }
         o.record = v;
         return true;
     }},
    {"--scale", "", "K", Bit(Command::Watch),
     "With --record: enlarge each pixel to KxK (1-8), as the window shows\n"
     "it.",
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetIntegerOption("--scale", v, 1, kMaxRecordScale, o.recordScale, e);
     }},
    {"--fast-timing", "", "", kAnyCommand,
     "Shrink the port's waits about a hundredfold. Meant for tests against\n"
     "the simulated phone or a pseudo-terminal; a real phone needs the\n"
     "normal timing.",
     Switch<&CliOptions::fastTiming>},
    {"--force", "", "", kAnyCommand,
     "Open a local port that another program (ser2net, a terminal program)\n"
     "holds open too; without it such a port is refused as in use, naming\n"
     "the program.",
     Switch<&CliOptions::force>},
    {"--output", "-o", "FILE", Bit(Command::Grab) | Bit(Command::Watch),
     "grab: the picture file (default panelgrab-capture.bmp); .bmp or .png\n"
     "chooses the format, - writes the BMP to stdout. With --every, and for\n"
     "watch: a numbered file name PATTERN with one printf-style number, %d\n"
     "or %03d (%% is a percent sign).",
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetName(o.output, v, "-o needs a file name (or - for stdout)", e);
     }},
    {"--display", "", "N", Bit(Command::Grab) | Bit(Command::Checksum) | Bit(Command::Watch),
     "The display to use: 0 (the first, the default) to 65535.",
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetIntegerOption("--display", v, 0, 65535, o.display, e);
     }},
    {"--background", "", "", Bit(Command::Grab), "Read on the phone's background worker.",
     Switch<&CliOptions::background>},
    {"--region-checksum", "", "L,T,R,B", Bit(Command::Grab),
     "After the read (on the background worker), print the local checksum of\n"
     "that region over the received picture data.",
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetRegionOption("--region-checksum", v, o.regionChecksum, e);
     }},
    {"--region", "", "L,T,R,B", Bit(Command::Checksum) | kJudging,
     "checksum: the region whose checksum the phone prints. Comparing:\n"
     "compare only inside this region; repeat it for more. Parts beyond the\n"
     "picture are cut off; a region wholly outside it is an error (exit 2).",
     [](CliOptions& o, std::string_view v, std::string& e) {
         return SetRegionOption("--region", v, o.region, e) && AddComparisonRegion(o.compare, v, e);
     }},
    {"--ignore", "", "L,T,R,B", kJudging,
     "Never compare inside this region (a clock, a signal bar); repeatable.",
     [](CliOptions& o, std::string_view v, std::string& e) { return AddIgnoredRegion(o.compare, v, e); }},
    {"--tolerance", "", "N", kJudging,
     "A pixel differs only when a channel differs by more than N (0-255,\n"
     "default 0).",
     [](CliOptions& o, std::string_view v, std::string& e) { return SetTolerance(o.compare, v, e); }},
    {"--max-diff-pixels", "", "K", kJudging,
     "The pictures still match with up to K differing pixels (default 0).",
     [](CliOptions& o, std::string_view v, std::string& e) { return SetMaxDiffPixels(o.compare, v, e); }},
    {"--diff", "", "FILE", kComparing,
     "Write a picture of the differences: the reference washed out to grey,\n"
     "differing pixels red, areas not compared hatched blue (a .png name is\n"
     "written as PNG, any other as BMP).",
     [](CliOptions& o, std::string_view v, std::string& e) { return SetDiffFile(o.compare, v, e); }},
    {"--expect", "", "REF", Bit(Command::Grab),
     "Compare the capture with the picture file REF and print the verdict as\n"
     "compare does (exit 0 match, 1 differ, 2 unreadable REF). The capture\n"
     "is written only when -o is given.",
     [](CliOptions& o, std::string_view v, std::string& e) { return SetExpectFile(o.compare, v, e); }},
    {"--every", "", "SECONDS", Bit(Command::Grab),
     "Capture again and again, one picture every SECONDS, into the numbered\n"
     "files of -o PATTERN, printing each name written.",
     [](CliOptions& o, std::string_view v, std::string& e) { return SetEvery(o.compare, v, e); }},
    {"--changed-only", "", "", Bit(Command::Grab) | Bit(Command::Watch),
     "Write a picture only when it differs from the last one written, judged\n"
     "with the comparison options.",
     [](CliOptions& o, std::string_view, std::string&) {
         o.compare.changedOnly = true;
         return true;
     }},
    {"--press", "", "MS", Bit(Command::Keys),
     "Hold each key for MS milliseconds (with --pause; the phone takes\n"
     "tenths of a second).",
     [](CliOptions& o, std::string_view v, std::string& e) {
         int32_t ms = 0;
         bool ok = SetIntegerOption("--press", v, 0, kInt32Max, ms, e);
         o.pressMs = ms;
         return ok;
     }},
    {"--pause", "", "MS", Bit(Command::Keys), "Pause MS milliseconds after each key (with --press).",
     [](CliOptions& o, std::string_view v, std::string& e) {
         int32_t ms = 0;
         bool ok = SetIntegerOption("--pause", v, 0, kInt32Max, ms, e);
         o.pauseMs = ms;
         return ok;
     }},
    {"--count", "", "N", Bit(Command::Listen) | Bit(Command::Grab) | Bit(Command::Watch),
     "End after N events, pictures or refreshes.",
     [](CliOptions& o, std::string_view v, std::string& e) {
         o.count = ParseInteger(v, 1, std::numeric_limits<int64_t>::max());
         if (!o.count) {
             e = "--count needs a whole number of at least 1, not '" + std::string(v) + "'";
         }
         return o.count.has_value();
     }},
    {"--seconds", "", "S", Bit(Command::Listen) | Bit(Command::Grab) | Bit(Command::Watch),
     "End after S seconds.",
     [](CliOptions& o, std::string_view v, std::string& e) {
         o.seconds = ParseSeconds(v);
         if (!o.seconds || *o.seconds <= 0) {
             e = "--seconds needs a positive number of seconds, not '" + std::string(v) + "'";
             return false;
         }
         return true;
     }},
    {"--full-every", "", "SECS", Bit(Command::Watch),
     "Read the display whole again every SECS seconds (default 30; 0:\n"
     "never).",
     [](CliOptions& o, std::string_view v, std::string& e) { return SetFullEvery(o.fullEvery, v, e); }},
    {"--help", "-h", "", kAnyCommand, "Print this help; after a command, that command's help.",
     [](CliOptions& o, std::string_view, std::string&) {
         o.command = Command::Help;
         return true;
     }},
    {"--version", "", "", kAnyCommand, "Print the program's version.",
     [](CliOptions& o, std::string_view, std::string&) {
         o.command = Command::Version;
         return true;
     }},
};

} // namespace

std::span<const OptionEntry> OptionTable() {
    return kOptionTable;
}

std::span<const CommandEntry> CommandTable() {
    return kCommandTable;
}

std::string_view NameOf(Command command) {
    for (const CommandEntry& entry : kCommandTable) {
        if (entry.command == command) {
            return entry.name;
        }
    }
    return "help";
}

} // namespace panelgrab::cli
