#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace panelgrab {

class MainDialog;

// Drives the window without a person, for screenshots and smoke runs: a comma-separated list of steps
// from the PANELGRAB_AUTOPILOT environment variable, e.g.
//   port:Simulated phone,baud:921600,connect,read,screenshot:docs/screenshot.png,quit
// "connect" waits until the phone has answered (or not), "read" until the read has finished; "port:"
// takes a name the list does not offer as typed text. A step that fails prints why and ends the
// program with a non-zero result.
class Autopilot : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kEnvironmentVariable = "PANELGRAB_AUTOPILOT";

    Autopilot(MainDialog& dialog, const QString& script);

    // Starts with the first step once the event loop runs.
    void Start();

private:
    void RunNextStep();
    bool RunStep(const QString& step);
    bool SelectInList(int controlId, const QString& text);
    void WaitForWindow(bool forRead);
    void CheckWindow();
    void Fail(const QString& why);

    MainDialog& dialog_;
    QStringList steps_;
    QTimer watch_;
    int waitTicks_ = 0;
    bool waitingForRead_ = false;
};

} // namespace panelgrab
