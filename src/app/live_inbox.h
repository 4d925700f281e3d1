#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "session/live_view.h"

namespace panelgrab {

// What a live view hands over between two looks of the window's thread: the parts of the picture it
// fetched, the refreshes that ended, and whether it ended by itself. The live view's worker adds
// each update through Handler(); only the first one since the last Take calls `wake`, so a burst of
// refreshes costs the window one look. Add and Take may come from any threads.
class LiveInbox {
public:
    struct Batch {
        std::vector<LiveRegion> regions;         // in the order they were fetched
        std::vector<LiveRefreshStats> refreshes; // the refreshes that ended, oldest first
        bool ended = false;                      // the live view ended by itself
    };

    explicit LiveInbox(std::function<void()> wake) : wake_(std::move(wake)) {}

    // The handler to give the phone object; it keeps the inbox alive.
    static LiveUpdateHandler Handler(const std::shared_ptr<LiveInbox>& inbox);

    void Add(const LiveUpdate& update);
    // Everything added since the last Take.
    Batch Take();

private:
    const std::function<void()> wake_;
    std::mutex lock_;
    Batch batch_;        // under lock_
    bool woken_ = false; // under lock_: a wake is on its way that the next Take answers
};

} // namespace panelgrab
