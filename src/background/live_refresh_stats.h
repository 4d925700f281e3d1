#pragma once

#include <cstdint>
#include <string>

namespace panelgrab {

// What one refresh of a live view did.
struct LiveRefreshStats {
    int64_t number = 0;           // 1 for the opening full read, then counting on
    bool fullRead = false;        // every line was read: the opening one, asked for, periodic, or no sums
    int32_t linesFetched = 0;     // display lines transferred, whole or in part
    int64_t pixelsFetched = 0;    // pixels those lines carried
    int64_t bytesReceived = 0;    // bytes the port received meanwhile, echoes and answers included
    int32_t checksumRequests = 0; // AT*ZAPC requests sent
    int64_t microseconds = 0;     // wall time the refresh took
    int64_t endedAtMs = 0;        // when it ended, counted from the start of the live view
    // Set on the one refresh where the live view gave up narrowing (the phone refused checksums):
    // from then on every refresh is a full read.
    std::string notice;
};

} // namespace panelgrab
