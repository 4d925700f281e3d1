#include "python/live_update_queue.h"

namespace panelgrab::python {

LiveUpdateHandler LiveUpdateQueue::Handler() {
    return [queue = shared_from_this()](const LiveUpdate& update) { queue->Push(update); };
}

void LiveUpdateQueue::Push(const LiveUpdate& update) {
    if (update.regions.empty()) {
        return;
    }
    {
        std::lock_guard guard(lock_);
        regions_.insert(regions_.end(), update.regions.begin(), update.regions.end());
    }
    changed_.notify_all();
}

bool LiveUpdateQueue::Take(std::vector<LiveRegion>& regions, std::chrono::milliseconds limit) {
    regions.clear();
    std::unique_lock guard(lock_);
    if (!changed_.wait_for(guard, limit, [this] { return !regions_.empty(); })) {
        return false;
    }
    regions.swap(regions_);
    return true;
}

} // namespace panelgrab::python
