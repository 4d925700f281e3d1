#include "app/live_inbox.h"

#include <utility>

namespace panelgrab {

LiveUpdateHandler LiveInbox::Handler(const std::shared_ptr<LiveInbox>& inbox) {
    return [inbox](const LiveUpdate& update) { inbox->Add(update); };
}

void LiveInbox::Add(const LiveUpdate& update) {
    {
        std::lock_guard guard(lock_);
        batch_.regions.insert(batch_.regions.end(), update.regions.begin(), update.regions.end());
        if (!update.partial && !update.ended) {
            batch_.refreshes.push_back(update.stats);
        }
        batch_.ended = batch_.ended || update.ended;
        if (std::exchange(woken_, true)) {
            return;
        }
    }
    wake_();
}

LiveInbox::Batch LiveInbox::Take() {
    std::lock_guard guard(lock_);
    woken_ = false;
    return std::exchange(batch_, Batch{});
}

} // namespace panelgrab
