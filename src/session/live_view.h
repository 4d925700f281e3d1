#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "background/live_refresh_stats.h"
#include "background/live_update.h"
#include "background/live_view_options.h"
#include "background/row_span.h"
#include "common/image/picture.h"

namespace panelgrab {

class PhoneLink;

// A running live view (Session::StartLiveView): the phone's background job keeps a picture of one
// display current and pushes each refresh to the handler given at the start. Stops in its
// destructor; must end before the session.
//
// Threading: every call from the session's operations thread, except that the pushed handler runs
// on the job's worker (it should only note the update and wake its own thread).
class LiveView {
public:
    explicit LiveView(PhoneLink& phone);
    ~LiveView();
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    // True until Stop or the job's own end (EndReason says why).
    bool Running() const;
    // Blocks until a refresh not yet taken has ended, rows arrived, the job ended or `timeoutMs`
    // passed.
    void WaitForRefresh(int32_t timeoutMs);
    // What each refresh finished since the last call did, oldest first.
    std::vector<LiveRefreshStats> TakeRefreshes();
    // The picture as the last refresh that found nothing left to mend left it (what files and
    // recordings are made of); null before the first. `refreshNumber` gets that refresh's number.
    std::shared_ptr<const Picture> Settled(int64_t* refreshNumber = nullptr) const;
    // The picture as it is now, rows shown as soon as they arrived; null before the job chose its
    // display.
    std::shared_ptr<const Picture> Current();
    // The same, with the rows that arrived since the last call (top down) in `arrived`, taken with
    // the picture at one moment: every row in it that is newer than the last call is named.
    std::shared_ptr<const Picture> Current(std::vector<RowSpan>& arrived);
    // Why the job ended by itself (the port's or the screen buffer's words); empty while it runs and
    // after Stop.
    std::string EndReason() const;
    void RequestFullRead();
    // Ends the job once its worker has left the port. A second call does nothing.
    void Stop();

private:
    PhoneLink& phone_;
    bool stopped_ = false;
};

} // namespace panelgrab
