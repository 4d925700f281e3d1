#include "server/live_feed.h"

#include <algorithm>

namespace panelgrab::server {

void LiveFeed::Add(const std::shared_ptr<LiveListener>& listener, bool wantsRows) {
    std::lock_guard<std::mutex> guard(lock_);
    listeners_.push_back({listener, wantsRows});
}

void LiveFeed::Remove(const LiveListener* listener) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(listeners_, [listener](const Entry& entry) {
        const std::shared_ptr<LiveListener> alive = entry.listener.lock();
        return !alive || alive.get() == listener;
    });
}

std::size_t LiveFeed::Watchers() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<std::size_t>(
        std::count_if(listeners_.begin(), listeners_.end(),
                      [](const Entry& entry) { return entry.wantsRows && !entry.listener.expired(); }));
}

std::size_t LiveFeed::Listeners() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<std::size_t>(std::count_if(
        listeners_.begin(), listeners_.end(), [](const Entry& entry) { return !entry.listener.expired(); }));
}

std::shared_ptr<const Picture> LiveFeed::Frame() const {
    std::lock_guard<std::mutex> guard(lock_);
    return frame_;
}

std::vector<std::shared_ptr<LiveListener>> LiveFeed::Listeners(bool onlyWantingRows) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::shared_ptr<LiveListener>> alive;
    for (const Entry& entry : listeners_) {
        if (onlyWantingRows && !entry.wantsRows) {
            continue;
        }
        if (std::shared_ptr<LiveListener> listener = entry.listener.lock()) {
            alive.push_back(std::move(listener));
        }
    }
    return alive;
}

void LiveFeed::PublishFrame(std::shared_ptr<const Picture> frame, RowSpan changed) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        frame_ = std::move(frame);
    }
    // Called outside the lock: a listener may add or remove viewers from its callback.
    for (const std::shared_ptr<LiveListener>& listener : Listeners(true)) {
        listener->OnRows(changed);
    }
}

void LiveFeed::PublishMessage(const std::string& json) {
    for (const std::shared_ptr<LiveListener>& listener : Listeners(false)) {
        listener->OnMessage(json);
    }
}

} // namespace panelgrab::server
