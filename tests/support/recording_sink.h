#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "common/key_event_sink.h"

namespace panelgrab::test {

// A key event sink that records "pressed KEY" / "released KEY" lines from any thread.
class RecordingSink : public KeyEventSink {
public:
    void OnKeyPressed(std::string key) override { Add("pressed " + key); }
    void OnKeyReleased(std::string key) override { Add("released " + key); }
    void OnKeyEventsStopped() override {
        std::lock_guard lock(mutex_);
        ++stopped_;
    }
    void OnKeyEventsLost(const std::string&) override {
        std::lock_guard lock(mutex_);
        ++lost_;
    }

    // Waits until `count` events have arrived; false if `limit` passed first.
    bool WaitForEvents(std::size_t count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return events_.size() >= count; });
    }
    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    int StoppedCount() const {
        std::lock_guard lock(mutex_);
        return stopped_;
    }
    int LostCount() const {
        std::lock_guard lock(mutex_);
        return lost_;
    }

private:
    void Add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    int stopped_ = 0;
    int lost_ = 0;
};

} // namespace panelgrab::test
