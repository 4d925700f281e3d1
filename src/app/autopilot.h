#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace panelgrab {

class MainDialog;

// Drives the window without a person, for screenshots and smoke runs: a comma-separated list of steps
// from the PANELGRAB_AUTOPILOT environment variable, e.g.
//   port:Simulated phone,baud:921600,connect,read,screenshot:docs/screenshot.png,quit
// "connect" waits until the phone has answered (or not), "read" until the read has finished,
// "start-read" until it has begun, "live" until the live view has read every line once; "stop" is
// the Stop button, "record:FILE.png" records the live view as Record... does, "wait:MS" pauses,
// "status" prints the status line to stderr ("panelgrab: status: TEXT"). "port:" takes
// a name the list does not offer as typed text; the commas before "--" belong to it
// (port:sim:--animate,--baud=921600). A step that fails prints why and ends the program with a non-zero
// result.
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
    // Watches the window until `ready`; then a non-empty `failure` ends the run, else the next step runs.
    void WaitUntil(
        std::function<bool()> ready, std::function<QString()> failure = [] { return QString(); });
    void CheckWindow();
    void Fail(const QString& why);

    MainDialog& dialog_;
    QStringList steps_;
    QTimer watch_;
    int waitTicks_ = 0;
    std::function<bool()> ready_;
    std::function<QString()> failure_;
};

} // namespace panelgrab
