#include "cli/help_text.h"

#include "cli/command_line.h"
#include "sim/simulated_phone.h"

namespace panelgrab::cli {

namespace {

constexpr const char* kRegionNote =
    "A region L,T,R,B is left, top, right and bottom in display pixels, all inclusive, 0 to 65535.\n"
    "Checksums are printed as unsigned decimal numbers.";

constexpr const char* kComparingNote =
    "--region, --ignore, --tolerance and --max-diff-pixels tune the comparison. A region L,T,R,B is\n"
    "left, top, right and bottom in pixels, all inclusive.";

constexpr const char* kGeneralNotes =
    R"HELP(Global options may stand before or after the command, a command's options after it; any
option may be written --name=VALUE, and -- ends the options, so a TEXT after it may begin with
a dash. 'panelgrab-cli help COMMAND' or 'panelgrab-cli COMMAND --help' shows a command's
options.

Screens as test evidence, for example:
  panelgrab-cli --port /dev/ttyACM0 grab -o home-ref.png          # once: the reference
  panelgrab-cli --port /dev/ttyACM0 grab --expect home-ref.png \
      --ignore 140,2,173,10 --diff home-diff.png                  # each build: 0 if unchanged
  panelgrab-cli compare home-ref.png build-42.png --tolerance 8    # two files, no phone
  panelgrab-cli --port /dev/ttyACM0 grab --every 2 --changed-only \
      --ignore 140,2,173,10 -o 'run-%04d.png'                     # every change during a test

Exit status:
  0  success; compare and grab --expect: the pictures match
  1  an exchange with the phone or the operation failed; compare and grab --expect: the
     pictures differ
  2  usage error (a wrong command line); compare and grab --expect: a picture file that cannot
     be read or written, or a region outside the pictures
  3  the port could not be opened or the phone did not answer
  128+N  stopped by signal N (Ctrl-C 130, SIGTERM 143, SIGHUP 129); the port is closed first)HELP";

constexpr const char* kPortsDetails =
    R"HELP(One line per port: the path, then what is known (USB vendor:product, maker, product, serial
number, /dev/serial/by-id link). Ports on other machines (tcp://, rfc2217://) are not listed.)HELP";

constexpr const char* kSendDetails =
    R"HELP(The answer is printed whole (echo included), also one that ends in ERROR (exit 1). TEXT
understands the escapes \r \n \t \\ \" \' and \xHH; end it with \r, as the phone expects:
  panelgrab-cli --port sim send 'AT+CGMI\r')HELP";

constexpr const char* kDisplaysDetails =
    R"HELP(One line per display: "Screen N (WxH)", then bits per pixel, characters per line and the
display number.)HELP";

constexpr const char* kGrabDetails =
    R"HELP(Reads display N and writes it to FILE; the folder of FILE is checked before the read. When
stderr is a terminal a progress bar shows the lines received of total, the rate and the time left.

--every ends after N pictures or S seconds (whichever comes first), on Ctrl-C or SIGTERM (a
picture still being read is dropped), or when stdout is closed; every file written is whole, and
a line on stderr says how many pictures were taken and written. With --changed-only the gaps in
the numbers are the pictures that did not change.)HELP";

constexpr const char* kKeysDetails =
    R"HELP(Presses the keys with AT+CKPD. With --press and --pause each key is held and released for
that long.)HELP";

constexpr const char* kListenDetails =
    R"HELP(One event a line, "pressed KEY" or "released KEY". Ends after N events, S seconds or Ctrl-C;
the phone's key reporting is always switched off.)HELP";

constexpr const char* kWatchDetails =
    R"HELP(Reads the display whole, then refreshes it again and again, asking the phone for checksums of
bands of rows and re-reading only the lines that changed. Since a change that keeps a band's sum
is not seen, it is read whole again every --full-every seconds. One line per refresh on stdout:
"time_s=T lines=L bytes=B checksums=C ms=M", and " full" after a full read. With -o each refresh
that fetched lines writes the picture under its refresh number (" file=NAME" on its line). Ends
after N refreshes or S seconds, on Ctrl-C or SIGTERM, or when stdout is closed; the last line on
stderr counts refreshes, full reads and pictures written.)HELP";

constexpr const char* kCompareDetails =
    R"HELP(Compares two BMP or PNG files (told apart by their content). Prints one line: "match", or
"differ: N pixels in (L,T)-(R,B), largest channel difference D", or that the sizes differ.)HELP";

constexpr const char* kGuiDetails =
    R"HELP(Sorted by key. Control characters in a value are shown as \r \n \t or \xHH, and a backslash
as \\.)HELP";

struct CommandDetail {
    Command command;
    const char* text;
    const char* more; // a second paragraph, or null
};

constexpr CommandDetail kCommandDetails[] = {
    {Command::Ports, kPortsDetails, nullptr},
    {Command::Send, kSendDetails, nullptr},
    {Command::Displays, kDisplaysDetails, nullptr},
    {Command::Grab, kGrabDetails, kComparingNote},
    {Command::Checksum, kRegionNote, nullptr},
    {Command::Keys, kKeysDetails, nullptr},
    {Command::Listen, kListenDetails, nullptr},
    {Command::Watch, kWatchDetails, kComparingNote},
    {Command::Compare, kCompareDetails, kComparingNote},
    {Command::Gui, kGuiDetails, nullptr},
};

} // namespace

std::string GeneralNotes() {
    return std::string(kGeneralNotes) + "\n\nFor --port sim:OPTIONS. " + sim::SimOptionsHelp();
}

std::string CommandDetails(Command command) {
    for (const CommandDetail& detail : kCommandDetails) {
        if (detail.command == command) {
            return detail.more == nullptr ? detail.text : std::string(detail.text) + "\n\n" + detail.more;
        }
    }
    return {};
}

std::string HelpText(std::optional<Command> topic) {
    const CommandLine line = BuildCommandLine();
    if (!topic) {
        return line.program->help();
    }
    return CommandApp(line, *topic)->help("panelgrab-cli");
}

} // namespace panelgrab::cli
