#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/image/picture.h"
#include "session/live_view.h"

namespace panelgrab::server {

// Someone watching a phone. Both calls come from the phone's threads and must return at once: a
// viewer notes what changed and sends the newest state when its connection is ready for more.
class LiveListener {
public:
    virtual void OnRows(RowSpan rows) = 0;
    // A JSON text: a key event, a state change or a lock change.
    virtual void OnMessage(const std::string& json) = 0;

protected:
    ~LiveListener() = default;
};

// The newest picture of one phone and the viewers to tell about its changes. Thread-safe.
class LiveFeed {
public:
    // A listener that wants no pictures gets only the texts, and keeps no live view running.
    void Add(const std::shared_ptr<LiveListener>& listener, bool wantsRows = true);
    void Remove(const LiveListener* listener);
    // The listeners that want pictures.
    std::size_t Watchers() const;
    // Every listener.
    std::size_t Listeners() const;

    // The newest picture; null before the first.
    std::shared_ptr<const Picture> Frame() const;
    // Makes `frame` the newest and tells every viewer the span of rows that changed.
    void PublishFrame(std::shared_ptr<const Picture> frame, RowSpan changed);
    void PublishMessage(const std::string& json);

private:
    struct Entry {
        std::weak_ptr<LiveListener> listener;
        bool wantsRows;
    };
    std::vector<std::shared_ptr<LiveListener>> Listeners(bool onlyWantingRows) const;

    mutable std::mutex lock_;
    std::vector<Entry> listeners_;
    std::shared_ptr<const Picture> frame_;
};

} // namespace panelgrab::server
