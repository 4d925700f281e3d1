#include "server/live_feed.h"

#include <algorithm>

namespace panelgrab::server {

void LiveFeed::Add(const std::shared_ptr<LiveListener>& listener) {
    std::lock_guard<std::mutex> guard(lock_);
    listeners_.push_back(listener);
}

void LiveFeed::Remove(const LiveListener* listener) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(listeners_, [listener](const std::weak_ptr<LiveListener>& entry) {
        const std::shared_ptr<LiveListener> alive = entry.lock();
        return !alive || alive.get() == listener;
    });
}

std::size_t LiveFeed::Watchers() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<std::size_t>(std::count_if(listeners_.begin(), listeners_.end(),
                                                  [](const auto& entry) { return !entry.expired(); }));
}

std::shared_ptr<const LiveFrame> LiveFeed::Frame() const {
    std::lock_guard<std::mutex> guard(lock_);
    return frame_;
}

std::vector<std::shared_ptr<LiveListener>> LiveFeed::Listeners() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::shared_ptr<LiveListener>> alive;
    for (const std::weak_ptr<LiveListener>& entry : listeners_) {
        if (std::shared_ptr<LiveListener> listener = entry.lock()) {
            alive.push_back(std::move(listener));
        }
    }
    return alive;
}

void LiveFeed::PublishFrame(std::shared_ptr<const LiveFrame> frame, const std::vector<RowSpan>& changed) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        frame_ = std::move(frame);
    }
    // Called outside the lock: a listener may add or remove viewers from its callback.
    for (const std::shared_ptr<LiveListener>& listener : Listeners()) {
        for (const RowSpan& rows : changed) {
            listener->OnRows(rows);
        }
    }
}

void LiveFeed::PublishMessage(const std::string& json) {
    for (const std::shared_ptr<LiveListener>& listener : Listeners()) {
        listener->OnMessage(json);
    }
}

} // namespace panelgrab::server
