#include "background/key_event_listener.h"

#include <vector>

#include "background/key_report_parser.h"
#include "common/commands.h"
#include "common/key_event_sink.h"
#include "transport/at/serial_port.h"

namespace panelgrab {
namespace {

constexpr int kCommandTimeout = 20;

} // namespace

KeyEventListener::KeyEventListener(KeyEventSink* sink, SerialPort& listenPort)
    : ThreadedTask(listenPort), sink_(sink) {}

KeyEventListener::~KeyEventListener() {
    stop_ = kStopByOwner;
    port.WakeUnsolicitedWaiters();
    Join();
}

int KeyEventListener::IsSupported(bool& /*supported*/) {
    return Ok;
}

int KeyEventListener::Run() {
    return Ok;
}

bool KeyEventListener::Start() {
    if (listening_) {
        return false;
    }
    Join();
    // Reports may follow the switch-on's OK at once: they must already be kept.
    port.SetUnsolicitedListening(true);
    if (port.Execute(FormatEventReporting("3", "2", "0", "0"), kCommandTimeout) != Ok) {
        port.SetUnsolicitedListening(false);
        return false;
    }
    stop_ = kListening;
    workerSwitchedOff_ = false;
    listening_ = true;
    if (!Launch([this] { ListenLoop(); })) {
        // Reporting stays on at the phone; Stop switches it off without waiting.
        listening_ = false;
        return false;
    }
    return true;
}

bool KeyEventListener::Stop() {
    stop_ = kStopByOwner;
    port.WakeUnsolicitedWaiters();
    Join();
    // Only now is the worker done with the port's reports.
    const bool switchedOff = workerSwitchedOff_ ? switchOffAnswered_ : SwitchOff();
    workerSwitchedOff_ = false;
    if (sink_ != nullptr) {
        sink_->OnKeyEventsStopped();
    }
    return switchedOff;
}

void KeyEventListener::RequestStop() {
    int expected = kListening;
    stop_.compare_exchange_strong(expected, kStopByCallback);
    port.WakeUnsolicitedWaiters();
}

void KeyEventListener::Resume() {
    int expected = kStopByCallback;
    stop_.compare_exchange_strong(expected, kListening);
}

bool KeyEventListener::IsRunning() {
    return listening_;
}

bool KeyEventListener::SwitchOff() {
    port.SetUnsolicitedListening(false);
    ExchangeResult result = Ok;
    // A picture transfer may hold the port for minutes: then the switch-off follows right after it.
    const bool ranNow =
        port.ExecuteOrDefer(FormatEventReporting("0", "0", "0", "0"), kCommandTimeout, result);
    return !ranNow || result == Ok;
}

void KeyEventListener::ListenLoop() {
    const auto wait = port.settings().GetTiming().readWait;
    bool portFailed = false;
    while (sink_ != nullptr && !StopRequested()) {
        std::vector<std::string> reports;
        if (port.TakeUnsolicited(reports, wait) != Ok) {
            portFailed = true; // closed or unplugged: nothing more will come
            break;
        }
        for (const std::string& report : reports) {
            if (StopRequested()) {
                break;
            }
            Deliver(report);
        }
    }
    if (portFailed && !StopRequested() && sink_ != nullptr) {
        sink_->OnKeyEventsLost(port.errorText());
    }
    if (stop_.load() == kStopByCallback) {
        switchOffAnswered_ = SwitchOff();
        workerSwitchedOff_ = true;
    }
    listening_ = false;
}

void KeyEventListener::Deliver(const std::string& report) {
    const std::optional<KeyEvent> event = KeyEventOfReport(report);
    if (!event) {
        return; // another kind of report: not for a key listener
    }
    if (event->pressed) {
        sink_->OnKeyPressed(event->key);
    } else {
        sink_->OnKeyReleased(event->key);
    }
}

} // namespace panelgrab
