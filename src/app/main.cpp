// The application object's start-up: one modal dialog is the whole program.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/autopilot.h"
#include "app/main_dialog.h"
#include "app/printed_prompts.h"
#include "common/version.h"

namespace {

constexpr const char* kHelp = R"HELP(Usage: panelgrab [--help | --version]

Opens the Panelgrab window: choose the phone's port (a device, or a network port typed as
tcp://HOST:PORT or rfc2217://HOST:PORT) and the baud rate ("auto" tries each), Connect to list its
displays, Read one and Save it as a PNG or BMP file; Live view keeps the picture current and
Record... keeps what it shows as an animated PNG; Stop or Esc ends what runs.
"Simulated phone" in the port list tries it without a phone; sim:OPTIONS typed there (e.g.
sim:--animate) runs one with the simulator's options, as panelgrab-cli --port takes them.
The last port and baud rate are offered again at the next start.

  -h, --help     print this help
  --version      print the program's version

Qt's own options (-platform, -style ...) are understood as well. panelgrab-cli does the same
from the command line.
)HELP";

} // namespace

int main(int argc, char* argv[]) {
    // Answered before any window system is touched, so they work without a display too.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("panelgrab %s\n", panelgrab::kVersion);
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Panelgrab"));
    QApplication::setApplicationName(QStringLiteral("Panelgrab"));
    QApplication::setApplicationVersion(QString::fromLatin1(panelgrab::kVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("panelgrab"));

    // A run the autopilot drives prints its messages instead of waiting for a person to close them.
    const QString script = qEnvironmentVariable(panelgrab::Autopilot::kEnvironmentVariable);
    panelgrab::PrintedPrompts printedPrompts;
    panelgrab::MainDialogOptions options;
    if (!script.isEmpty()) {
        options.prompts = &printedPrompts;
    }
    panelgrab::MainDialog dialog(std::move(options));
    if (!script.isEmpty()) {
        (new panelgrab::Autopilot(dialog, script))->Start();
    }
    const int result = dialog.exec();
    // Quit, Esc and the close button all end the program normally; only a failed autopilot run
    // reports an error.
    return result == 2 ? 1 : 0;
}
