#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "session/live_view.h"

namespace panelgrab::python {

// Gathers the regions each refresh of a live view fetched, from the live view's worker, for a Python
// reader on another thread. Nothing here touches Python, so the worker never waits for the GIL.
class LiveUpdateQueue : public std::enable_shared_from_this<LiveUpdateQueue> {
public:
    // The handler to give the phone object; it keeps the queue alive.
    LiveUpdateHandler Handler();
    // Moves the regions fetched since the last call into `regions` (emptied first), waiting up to
    // `limit` for a refresh that fetched some; false when none came.
    bool Take(std::vector<LiveRegion>& regions, std::chrono::milliseconds limit);

private:
    void Push(const LiveUpdate& update);

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<LiveRegion> regions_;
};

} // namespace panelgrab::python
