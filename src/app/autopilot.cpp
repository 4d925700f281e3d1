#include "app/autopilot.h"

#include <QComboBox>
#include <QPushButton>
#include <QTextStream>
#include <cstdio>

#include "app/control_template.h"
#include "app/main_dialog.h"

namespace panelgrab {

namespace {

constexpr int kWatchMs = 100;
constexpr int kWaitLimitTicks = 10 * 60 * 1000 / kWatchMs; // a read never takes ten minutes

} // namespace

Autopilot::Autopilot(MainDialog& dialog, const QString& script) : QObject(&dialog), dialog_(dialog) {
    // A part beginning with "--" is the next option of a "port:sim:OPTIONS" step, not a step.
    for (const QString& part : script.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (part.trimmed().startsWith(QLatin1String("--")) && !steps_.isEmpty()) {
            steps_.last() += QLatin1Char(',') + part.trimmed();
        } else {
            steps_ << part;
        }
    }
    watch_.setInterval(kWatchMs);
    connect(&watch_, &QTimer::timeout, this, &Autopilot::CheckWindow);
}

void Autopilot::Start() {
    QTimer::singleShot(0, this, &Autopilot::RunNextStep);
}

void Autopilot::RunNextStep() {
    while (!steps_.isEmpty()) {
        const QString step = steps_.takeFirst().trimmed();
        if (!RunStep(step)) {
            return; // failed, or waits for something and continues from there
        }
    }
}

bool Autopilot::RunStep(const QString& step) {
    const QString argument = step.section(QLatin1Char(':'), 1);
    if (step.startsWith(QLatin1String("port:"))) {
        return SelectInList(kIdPortList, argument);
    }
    if (step.startsWith(QLatin1String("baud:"))) {
        return SelectInList(kIdBaudList, argument);
    }
    if (step == QLatin1String("status")) {
        std::fprintf(stderr, "panelgrab: status: %s\n", dialog_.StatusText().toLocal8Bit().constData());
        std::fflush(stderr);
        return true;
    }
    if (step == QLatin1String("connect")) {
        dialog_.OnConnect();
        WaitUntil([this] { return !dialog_.IsBusy(); });
        return false;
    }
    if (step == QLatin1String("read")) {
        dialog_.OnRead();
        // A read that ended has Save enabled; a refused one left it disabled.
        WaitUntil([this] { return !dialog_.IsBusy() && !dialog_.IsReading(); },
                  [this] {
                      return dialog_.Control(kIdSave)->isEnabled()
                                 ? QString()
                                 : QStringLiteral("the read did not finish");
                  });
        return false;
    }
    if (step == QLatin1String("start-read")) {
        dialog_.OnRead();
        WaitUntil(
            [this] { return !dialog_.IsBusy(); },
            [this] { return dialog_.IsReading() ? QString() : QStringLiteral("the read did not start"); });
        return false;
    }
    if (step == QLatin1String("live")) {
        dialog_.SetLiveView(true);
        WaitUntil(
            [this] { return !dialog_.IsBusy() && !dialog_.IsLiveOpening(); },
            [this] { return dialog_.IsLive() ? QString() : QStringLiteral("the live view did not start"); });
        return false;
    }
    if (step.startsWith(QLatin1String("record:"))) {
        if (!dialog_.StartRecording(argument)) {
            Fail(QStringLiteral("could not record to ") + argument);
            return false;
        }
        return true;
    }
    if (step == QLatin1String("stop")) {
        dialog_.Stop();
        return true;
    }
    if (step.startsWith(QLatin1String("wait:"))) {
        QTimer::singleShot(argument.toInt(), this, &Autopilot::RunNextStep);
        return false;
    }
    if (step.startsWith(QLatin1String("screenshot:"))) {
        if (!dialog_.grab().save(argument)) {
            Fail(QStringLiteral("could not write ") + argument);
            return false;
        }
        return true;
    }
    if (step == QLatin1String("quit")) {
        dialog_.accept();
        return false;
    }
    Fail(QStringLiteral("unknown step \"") + step + QLatin1Char('"'));
    return false;
}

bool Autopilot::SelectInList(int controlId, const QString& text) {
    auto* list = qobject_cast<QComboBox*>(dialog_.Control(controlId));
    const int index = list ? list->findText(text) : -1;
    if (index >= 0) {
        list->setCurrentIndex(index);
        return true;
    }
    if (list && list->isEditable()) {
        list->setEditText(text);
        return true;
    }
    Fail(QStringLiteral("no list entry \"") + text + QLatin1Char('"'));
    return false;
}

void Autopilot::WaitUntil(std::function<bool()> ready, std::function<QString()> failure) {
    ready_ = std::move(ready);
    failure_ = std::move(failure);
    waitTicks_ = 0;
    watch_.start();
}

void Autopilot::CheckWindow() {
    if (!ready_()) {
        if (++waitTicks_ > kWaitLimitTicks) {
            watch_.stop();
            Fail(QStringLiteral("the window did not finish"));
        }
        return;
    }
    watch_.stop();
    if (const QString why = failure_(); !why.isEmpty()) {
        Fail(why);
        return;
    }
    RunNextStep();
}

void Autopilot::Fail(const QString& why) {
    std::fprintf(stderr, "panelgrab autopilot: %s\n", why.toLocal8Bit().constData());
    steps_.clear();
    dialog_.done(2);
}

} // namespace panelgrab
