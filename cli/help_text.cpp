#include "cli/help_text.h"

#include "cli/cli_options.h"
#include "sim/simulated_phone.h"

namespace panelgrab::cli {

namespace {

constexpr const char* kCommandsText = R"HELP(Usage: panelgrab-cli [OPTIONS] COMMAND [ARGUMENTS]

Copies a phone's display to the computer and talks to the phone with AT commands over a serial
port. Data goes to stdout, messages to stderr.

Commands:
  ports                         List this computer's own serial ports, one a line: the path,
                                then what is known (USB vendor:product, maker, product,
                                serial number, /dev/serial/by-id link). No port is opened;
                                ports on other machines (tcp://, rfc2217://) are not listed.
  send TEXT                     Send TEXT as it is and print the phone's whole answer (echo
                                included), also one that ends in ERROR (exit 1). TEXT
                                understands the escapes \r \n \t \\ \" \' and \xHH; end it
                                with \r, as the phone expects: send 'AT+CGMI\r'.
  model                         Print the phone's model.
  displays                      One line per display: "Screen N (WxH)", then bits per pixel,
                                characters per line and the display number.
  grab [-o FILE] [--display N]  Read display N (0, the first, by default) and write it as a
                                BMP file (default: @DEFAULT_FILE@). FILE ends in
                                .bmp or .png, which chooses the format; -o - writes the BMP
                                to stdout. The folder of FILE is checked before the read.
                                When stderr is a terminal a progress bar shows the lines
                                received of total, the rate and the time left.
       --background             Read on the phone's background worker.
       --region-checksum L,T,R,B
                                After the read (on the background worker), print the local
                                checksum of that region over the received picture data.
       --expect REF [COMPARISON OPTIONS] [--diff FILE]
                                Compare the capture with the picture file REF and print the
                                verdict as compare does (exit 0 match, 1 differ, 2 unreadable
                                REF). The capture is written only when -o is given.
       --every SECONDS -o PATTERN [--count N] [--seconds S] [--changed-only]
                                Capture again and again, one picture every SECONDS, into
                                numbered files: PATTERN holds one printf-style number, %d or
                                %03d (%% is a percent sign), counting the pictures taken from
                                1. Each written name is printed on stdout. Ends after N
                                pictures or S seconds (whichever comes first), on Ctrl-C or
                                SIGTERM (a picture still being read is dropped), or when stdout
                                is closed; every file written is whole, and a line on stderr
                                says how many pictures were taken and written. --changed-only writes a picture
                                only when it differs from the last one written, judged with the
                                COMPARISON OPTIONS; the gaps in the numbers are the pictures
                                that did not change.
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
  watch [--display N] [--full-every SECS] [-o PATTERN [--changed-only [COMPARISON OPTIONS]]]
        [--count N] [--seconds S] [--record FILE [--scale K]]
                                Keep display N's picture current: read it whole, then refresh
                                it again and again, asking the phone for checksums of bands of
                                rows and columns and re-reading only the changed columns of the
                                lines that changed. Since a change that keeps every row's and
                                column's sum is not seen, it is read whole again every SECS
                                seconds (default 30; 0: never). One line per refresh on stdout:
                                "time_s=T lines=L pixels=P bytes=B checksums=C ms=M", and
                                " full" after a full read. With -o each refresh that fetched
                                lines writes the picture under its refresh number (" file=NAME"
                                on its line); --changed-only writes only pictures that differ
                                from the last one written. Ends after N refreshes or S seconds,
                                on Ctrl-C or SIGTERM, or when stdout is closed; the last line on
                                stderr counts refreshes, full reads and pictures written.
       --record FILE [--scale K]
                                Record what the display shows as an animated PNG: a frame
                                whenever the picture changed, lasting as long as it stayed
                                (a screen that never changes is one frame). FILE is written
                                whole when the watch ends, also on Ctrl-C. --scale K (1-8)
                                enlarges each pixel to KxK, as the window shows it.
  compare REFERENCE PICTURE [COMPARISON OPTIONS] [--diff FILE]
                                Compare two BMP or PNG files (told apart by their content)
                                pixel by pixel; needs no phone. Prints one line: "match", or
                                "differ: N pixels in (L,T)-(R,B), largest channel difference
                                D", or that the sizes differ. --diff FILE writes a picture of
                                the differences: the reference washed out to grey, differing
                                pixels red, areas not compared hatched blue (a .png name is
                                written as PNG, any other as BMP).
  gui                           Print the phone's current GUI object as KEY=VALUE lines,
                                sorted by key. Control characters in a value are shown as
                                \r \n \t or \xHH, and a backslash as \\.

A region L,T,R,B is left, top, right and bottom in display pixels, all inclusive, 0 to 65535.
Checksums are printed as unsigned decimal numbers.

Comparison options (compare, grab --expect, grab --every --changed-only, watch --changed-only):
  --region L,T,R,B      Compare only inside this region; repeat it for more. Parts beyond the
                        picture are cut off; a region wholly outside it is an error (exit 2).
  --ignore L,T,R,B      Never compare inside this region (a clock, a signal bar); repeatable.
  --tolerance N         A pixel differs only when a channel differs by more than N (0-255,
                        default 0).
  --max-diff-pixels K   The pictures still match with up to K differing pixels (default 0).

Screens as test evidence, for example:
  panelgrab-cli --port /dev/ttyACM0 grab -o home-ref.png          # once: the reference
  panelgrab-cli --port /dev/ttyACM0 grab --expect home-ref.png \
      --ignore 140,2,173,10 --diff home-diff.png                  # each build: 0 if unchanged
  panelgrab-cli compare home-ref.png build-42.png --tolerance 8    # two files, no phone
  panelgrab-cli --port /dev/ttyACM0 grab --every 2 --changed-only \
      --ignore 140,2,173,10 -o 'run-%04d.png'                     # every change during a test

Options:
  --port NAME     The phone's port, needed by every command but ports. A path is used as it
                  is (/dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-terminal); a bare name
                  means /dev/NAME; COMn means /dev/ttyS(n-1).
  --port tcp://HOST:PORT, --port rfc2217://HOST:PORT
                  A port on another machine through ser2net, raw or with RFC 2217.
  --port sim      Use the built-in simulated phone (it runs inside this program).
  --port sim:OPTIONS
                  The simulated phone with options: panelgrab-phonesim's options joined by
                  commas, each with its leading --, e.g.
                    --port sim:--dialect=two-displays,--no-echo
                  Only ",--" starts a new option, so a value may hold commas.
  --baud RATE     Baud rate (default @DEFAULT_BAUD@), from 50 to 4000000.
  --baud auto     Find the rate: try 921600 down to 1200 baud with "AT" (each try about a
                  second; a phone that answers at no rate is given up after about 13 s),
                  use the first that answers OK and say which on stderr.
  --record-session FILE
                  Record every command sent, answer received and report sent unasked, with
                  times, in a text file a person can read and edit (docs/SESSIONS.md);
                  panelgrab-phonesim --replay FILE plays it back as a phone.
  --trace         Print every command sent ("> ") and every answer received ("< ") on
                  stderr, with CR and LF shown as \r and \n; reports the phone sent unasked
                  (+CKEV, RING, ...) are kept out of answers and shown as "! " when a listener
                  got them, "- " when nobody listened.
  --force         Open a local port that another program (ser2net, a terminal program) holds
                  open too; without it such a port is refused as in use, naming the program.
  --fast-timing   Shrink the port's waits about a hundredfold. Meant for tests against the
                  simulated phone or a pseudo-terminal; a real phone needs the normal timing.
  -h, --help      Print this help.
  --version       Print the program's version.
  --              End of options: a TEXT after it may begin with a dash.
  Options may stand before or after the command and may be written --name=VALUE.

Exit status:
  0  success; compare and grab --expect: the pictures match
  1  an exchange with the phone or the operation failed; compare and grab --expect: the
     pictures differ
  2  usage error (a wrong command line); compare and grab --expect: a picture file that cannot
     be read or written, or a region outside the pictures
  3  the port could not be opened or the phone did not answer
  128+N  stopped by signal N (Ctrl-C 130, SIGTERM 143, SIGHUP 129); the port is closed first
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
