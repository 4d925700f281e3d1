#include "cli/help_text.h"

#include "cli/command_line.h"
#include "session/session.h"

namespace panelgrab::cli {

namespace {

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

} // namespace

std::string GeneralNotes() {
    return std::string(kGeneralNotes) + "\n\nFor --port sim:OPTIONS. " + SimulatedPhoneHelp();
}

std::string HelpText(std::optional<Command> topic) {
    const CommandLine line = BuildCommandLine();
    if (!topic) {
        return line.program->help();
    }
    return CommandApp(line, *topic)->help("panelgrab-cli");
}

} // namespace panelgrab::cli
