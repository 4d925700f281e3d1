// The window program's own command line: --help and --version answer without opening a window,
// also where there is no display at all.
#include <QProcess>
#include <QTest>

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void helpAndVersionNeedNoWindow_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("start");
        QTest::newRow("help") << "--help"
                              << "Usage: panelgrab [--help | --version]\n";
        QTest::newRow("short help") << "-h"
                                    << "Usage: panelgrab";
        QTest::newRow("version") << "--version"
                                 << "panelgrab 1.0\n";
    }

    void helpAndVersionNeedNoWindow() {
        QFETCH(QString, option);
        QFETCH(QString, start);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(QString::fromLatin1(name));
        }
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PANELGRAB_APP_PROGRAM), {option});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(out.startsWith(start), qPrintable(out));
        QCOMPARE(program.readAllStandardError(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "program_test.moc"
