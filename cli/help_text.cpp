#include "cli/help_text.h"

#include "cli/cli_options.h"
#include "sim/simulated_phone.h"

namespace panelgrab::cli {

namespace {

constexpr const char* kCommandsText = R"HELP(Usage: panelgrab-cli [OPTIONS] COMMAND [ARGUMENTS]

Copies a phone's display to the computer and talks to the phone with AT commands over a serial
port. Data goes to stdout, messages to stderr.

Commands:
  ports                         List the local serial ports that can be opened now, one a line.
  send TEXT                     Send TEXT as it is and print the phone's whole answer (echo
                                included). TEXT understands the escapes \r \n \t \\ \" \' and
                                \xHH; end it with \r, as the phone expects: send 'AT+CGMI\r'.
  model                         Print the phone's model.
  displays                      One line per display: "Screen N (WxH)", then bits per pixel,
                                characters per line and the display number.
  grab [-o FILE] [--display N]  Read display N (0, the first, by default) and write it as a
                                BMP file (default: @DEFAULT_FILE@). A FILE ending
                                in .png is written as PNG; -o - writes the BMP to stdout.
       --background             Read on the phone's background worker, with a progress bar
                                on stderr (lines received of total, rate, time left) when
                                stderr is a terminal.
       --region-checksum L,T,R,B
                                After the read (on the background worker), print the local
                                checksum of that region over the received picture data.
  checksum --region L,T,R,B [--display N]
                                Print the phone's own checksum of a region.
  keys TEXT [--press MS --pause MS]
                                Press the keys of TEXT on the phone (AT+CKPD). With --press
                                and --pause (both, in milliseconds; the phone takes tenths
                                of a second) each key is held and released for that long.
  listen [--count N] [--seconds S]
                                Print each key event of the phone as "pressed KEY" or
                                "released KEY", one a line. Ends after N events, S seconds
                                or Ctrl-C; the phone's key reporting is always switched off.
  gui                           Print the phone's current GUI object as KEY=VALUE lines,
                                sorted by key. Control characters in a value are shown as
                                \r \n \t or \xHH, and a backslash as \\.

A region L,T,R,B is left, top, right and bottom in display pixels, all inclusive, 0 to 65535.
Checksums are printed as unsigned decimal numbers.

Options:
  --port NAME     The phone's port, needed by every command but ports. A path is used as it
                  is (/dev/ttyUSB0, a pseudo-terminal); a bare name means /dev/NAME; COMn
                  means /dev/ttyS(n-1).
  --port tcp://HOST:PORT, --port rfc2217://HOST:PORT
                  A port on another machine through ser2net, raw or with RFC 2217.
  --port sim      Use the built-in simulated phone (it runs inside this program).
  --port sim:OPTIONS
                  The simulated phone with options: panelgrab-phonesim's options joined by
                  commas, each with its leading --, e.g.
                    --port sim:--dialect=two-displays,--no-echo
                  Only ",--" starts a new option, so a value may hold commas.
  --baud RATE     Baud rate (default @DEFAULT_BAUD@).
  --trace         Print every command sent ("> ") and every answer received ("< ") on
                  stderr, with CR and LF shown as \r and \n.
  --fast-timing   Shrink the port's waits about a hundredfold. Meant for tests against the
                  simulated phone or a pseudo-terminal; a real phone needs the normal timing.
  -h, --help      Print this help.
  --              End of options: a TEXT after it may begin with a dash.
  Options may stand before or after the command and may be written --name=VALUE.

Exit status:
  0  success
  1  an exchange with the phone or the operation failed
  2  usage error (a wrong command line)
  3  the port could not be opened or the phone did not answer
)HELP";

void ReplaceAll(std::string& text, const std::string& placeholder, const std::string& value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
}

} // namespace

std::string HelpText() {
    std::string text = kCommandsText;
    ReplaceAll(text, "@DEFAULT_FILE@", kDefaultGrabFile);
    ReplaceAll(text, "@DEFAULT_BAUD@", std::to_string(kDefaultBaud));
    return text + "\nFor --port sim:OPTIONS. " + sim::SimOptionsHelp();
}

} // namespace panelgrab::cli
