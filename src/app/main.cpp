// The application object's start-up: one modal dialog is the whole program.
#include <QApplication>

#include "app/autopilot.h"
#include "app/main_dialog.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Panelgrab"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QGuiApplication::setDesktopFileName(QStringLiteral("panelgrab"));

    panelgrab::MainDialog dialog;
    const QString script = qEnvironmentVariable(panelgrab::Autopilot::kEnvironmentVariable);
    if (!script.isEmpty()) {
        (new panelgrab::Autopilot(dialog, script))->Start();
    }
    const int result = dialog.exec();
    // Quit, Esc and the close button all end the program normally; only a failed autopilot run
    // reports an error.
    return result == 2 ? 1 : 0;
}
