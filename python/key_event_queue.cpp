#include "python/key_event_queue.h"

namespace panelgrab::python {

void KeyEventQueue::Push(std::string key, bool pressed) {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        if (ended_) {
            return;
        }
        events_.push_back(KeyEvent{std::move(key), pressed});
    }
    changed_.notify_all();
}

void KeyEventQueue::OnKeyEventsLost(const std::string& reason) {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        lost_ = reason;
    }
    changed_.notify_all();
}

void KeyEventQueue::End() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        ended_ = true;
        events_.clear();
    }
    changed_.notify_all();
}

KeyEventQueue::Wait KeyEventQueue::Next(KeyEvent& event, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, limit, [this] { return ended_ || !events_.empty() || lost_.has_value(); });
    if (ended_) {
        return Wait::Ended;
    }
    if (!events_.empty()) {
        event = std::move(events_.front());
        events_.pop_front();
        return Wait::Event;
    }
    return lost_ ? Wait::Lost : Wait::TimedOut;
}

std::optional<std::string> KeyEventQueue::lostReason() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return lost_;
}

} // namespace panelgrab::python
