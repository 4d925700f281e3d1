#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "common/key_event_sink.h"

namespace panelgrab::cli {

// Prints each key event as "pressed KEY" or "released KEY" on its own line, flushed at once, and
// counts them. Events arrive on the listener's thread; the command waits on the main thread.
// Once `limit` events have been printed, further ones are dropped so that the output holds
// exactly that many. Listening also ends when the listener lost the phone or the output was closed
// (a pipe whose reader went away).
class KeyEventPrinter : public KeyEventSink {
public:
    KeyEventPrinter(std::ostream& out, std::optional<int64_t> limit) : out_(out), limit_(limit) {}

    void OnKeyPressed(std::string key) override { Print("pressed ", key); }
    void OnKeyReleased(std::string key) override { Print("released ", key); }
    void OnKeyEventsStopped() override {}
    void OnKeyEventsLost(const std::string& reason) override;

    // Waits up to `timeout` for listening to end (limit reached, phone lost, output closed); true
    // when it has ended.
    bool WaitForEnd(std::chrono::milliseconds timeout);
    int64_t printed() const;
    // The listener's reason when it lost the phone; nothing otherwise.
    std::optional<std::string> lostReason() const;
    bool outputClosed() const;

private:
    void Print(const char* direction, const std::string& key);
    bool LimitReached() const { return limit_ && printed_ >= *limit_; }
    bool Ended() const { return LimitReached() || lostReason_ || outputClosed_; }

    std::ostream& out_;
    std::optional<int64_t> limit_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    int64_t printed_ = 0;
    std::optional<std::string> lostReason_;
    bool outputClosed_ = false;
};

} // namespace panelgrab::cli
