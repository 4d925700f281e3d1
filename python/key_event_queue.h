#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "common/key_event_sink.h"

namespace panelgrab::python {

// One key report: the key's text and whether it went down or up.
struct KeyEvent {
    std::string key;
    bool pressed = false;
};

// Collects the phone's key events from the listener's thread for a Python reader on another.
// Nothing here touches Python, so the listener never waits for the GIL.
class KeyEventQueue : public KeyEventSink {
public:
    enum class Wait {
        Event,    // `event` holds the next event
        Lost,     // the port failed under the listener; lostReason() says why, and no event follows
        TimedOut, // nothing came within the wait
        Ended,    // the phone was closed: nothing more is handed out
    };

    void OnKeyPressed(std::string key) override { Push(std::move(key), true); }
    void OnKeyReleased(std::string key) override { Push(std::move(key), false); }
    void OnKeyEventsStopped() override {}
    void OnKeyEventsLost(const std::string& reason) override;

    // Ends every wait at once, and the events: called when the phone is closed.
    void End();

    // Takes the oldest event, waiting up to `limit` for one. Events that came before a loss are
    // handed out first; none after End().
    Wait Next(KeyEvent& event, std::chrono::milliseconds limit);
    std::optional<std::string> lostReason() const;

private:
    void Push(std::string key, bool pressed);

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<KeyEvent> events_;
    std::optional<std::string> lost_;
    bool ended_ = false;
};

} // namespace panelgrab::python
