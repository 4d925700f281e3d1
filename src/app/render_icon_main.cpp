// Build tool: writes the application icon as PNG files for the desktop menu.
// Usage: panelgrab-render-icon OUTPUT_DIR SIZE...   (writes OUTPUT_DIR/panelgrab-SIZE.png)
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "app/app_icon.h"

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: panelgrab-render-icon OUTPUT_DIR SIZE...\n");
        return 2;
    }
    const QDir output(arguments.at(1));
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        bool valid = false;
        const int size = arguments.at(i).toInt(&valid);
        const QString path = output.filePath(QStringLiteral("panelgrab-%1.png").arg(size));
        if (!valid || size <= 0 || !panelgrab::DrawAppIcon(size).save(path)) {
            std::fprintf(stderr, "panelgrab-render-icon: could not write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
