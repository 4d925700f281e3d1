#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "phone/key_event_sink.h"

namespace panelgrab::cli {

// Prints each key event as "pressed KEY" or "released KEY" on its own line, flushed at once, and
// counts them. Events arrive on the listener's thread; the command waits on the main thread.
// Once `limit` events have been printed, further ones are dropped so that the output holds
// exactly that many.
class KeyEventPrinter : public KeyEventSink {
public:
    KeyEventPrinter(std::ostream& out, std::optional<int64_t> limit) : out_(out), limit_(limit) {}

    void OnKeyPressed(std::string key) override { Print("pressed ", key); }
    void OnKeyReleased(std::string key) override { Print("released ", key); }
    void OnKeyEventsStopped() override {}

    // Waits up to `timeout` for the limit to be reached; true when it has been.
    bool WaitForLimit(std::chrono::milliseconds timeout);
    int64_t printed() const;

private:
    void Print(const char* direction, const std::string& key);
    bool LimitReached() const { return limit_ && printed_ >= *limit_; }

    std::ostream& out_;
    std::optional<int64_t> limit_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    int64_t printed_ = 0;
};

} // namespace panelgrab::cli
