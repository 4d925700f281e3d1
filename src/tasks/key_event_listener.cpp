#include "tasks/key_event_listener.h"

#include <string>
#include <system_error>

#include "phone/commands.h"
#include "phone/key_event_sink.h"
#include "transport/serial_port.h"

namespace panelgrab {
namespace {

constexpr int kCommandTimeout = 20;
constexpr int kListenTimeout = 1;

} // namespace

KeyEventListener::KeyEventListener(KeyEventSink* sink, SerialPort& listenPort)
    : ThreadedTask(listenPort), sink_(sink) {}

KeyEventListener::~KeyEventListener() {
    stopRequested_ = true;
    Join();
}

int KeyEventListener::IsSupported(bool& /*supported*/) {
    return Ok;
}

int KeyEventListener::Run() {
    return Ok;
}

bool KeyEventListener::Start() {
    if (worker_.joinable()) {
        return false;
    }
    if (port.Execute(FormatEventReporting("3", "2", "0", "0"), kCommandTimeout) != Ok) {
        return false;
    }
    stopRequested_ = false;
    listening_ = true;
    try {
        worker_ = std::thread(&KeyEventListener::ListenLoop, this);
    } catch (const std::system_error&) {
        // Reporting stays on at the phone; Stop switches it off without waiting.
        listening_ = false;
        return false;
    }
    return true;
}

bool KeyEventListener::Stop() {
    stopRequested_ = true;
    Join();
    // Only now is the port free of the worker's reads.
    const bool switchedOff = port.Execute(FormatEventReporting("0", "0", "0", "0"), kCommandTimeout) == Ok;
    if (sink_ != nullptr) {
        sink_->OnKeyEventsStopped();
    }
    return switchedOff;
}

bool KeyEventListener::IsRunning() {
    return listening_;
}

void KeyEventListener::ListenLoop() {
    const auto idlePause = port.settings().GetTiming().idlePause;
    while (sink_ != nullptr && !stopRequested_) {
        std::string text;
        const ExchangeResult result = port.ReadUnsolicited(text, "\r\n", kListenTimeout);
        if (result == ReceiveFailed) {
            break; // the port is gone (closed or unplugged); reporting stays on until Stop
        }
        for (const KeyEvent& event : parser_.Feed(text)) {
            Deliver(event);
        }
        if (text.empty() && !stopRequested_) {
            // A quiet line: leave the port alone for a moment, so that the owner's exchanges (a key
            // press) get their turn at the port lock instead of racing this loop for it.
            std::this_thread::sleep_for(idlePause);
        }
    }
    listening_ = false;
}

void KeyEventListener::Deliver(const KeyEvent& event) {
    if (event.pressed) {
        sink_->OnKeyPressed(event.key);
    } else {
        sink_->OnKeyReleased(event.key);
    }
}

} // namespace panelgrab
