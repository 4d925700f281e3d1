#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "background/live_refresh_stats.h"

namespace panelgrab {

// Display rows firstRow..lastRow over columns firstColumn..lastColumn, all bounds inclusive: a part
// of the picture a refresh fetched anew.
struct LiveRegion {
    int32_t firstRow = 0;
    int32_t lastRow = 0;
    int32_t firstColumn = 0;
    int32_t lastColumn = 0;

    bool operator==(const LiveRegion&) const = default;
};

// What a live view hands its client after each refresh, and while one goes on as soon as it has
// fetched what changed: what the refresh did, and the parts of the picture it fetched, top down
// (rows next to each other over the same columns are one region).
struct LiveUpdate {
    LiveRefreshStats stats;
    std::vector<LiveRegion> regions;
    // The refresh goes on: what it fetched so far is handed out at once (its stats so far). Its
    // last update, with the full stats, follows.
    bool partial = false;
    // The live view ended by itself (the phone object's GetLiveFailure says why): the last update,
    // with no regions. A live view the client stopped ends without one.
    bool ended = false;
};

// Called on the live view's worker after each refresh (see LiveViewTask::SetUpdateHandler).
using LiveUpdateHandler = std::function<void(const LiveUpdate& update)>;

} // namespace panelgrab
