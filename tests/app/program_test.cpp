// The window program's own command line: --help and --version answer without opening a window,
// also where there is no display at all.
#include <QProcess>
#include <QTest>

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void helpAndVersionNeedNoWindow() {
        const std::pair<const char*, const char*> cases[] = {
            {"--help", "Usage: panelgrab [--help | --version]\n"},
            {"-h", "Usage: panelgrab"},
            {"--version", "panelgrab 1.0\n"}};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(QString::fromLatin1(name));
        }
        for (const auto& [option, start] : cases) {
            QProcess program;
            program.setProcessEnvironment(environment);
            program.start(QStringLiteral(PANELGRAB_APP_PROGRAM), {QString::fromLatin1(option)});
            QVERIFY2(program.waitForFinished(10000), option);
            QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0, option);
            const QString out = QString::fromUtf8(program.readAllStandardOutput());
            QVERIFY2(out.startsWith(QString::fromLatin1(start)), qPrintable(out));
            QVERIFY2(program.readAllStandardError().isEmpty(), option);
        }
    }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "program_test.moc"
