#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "background/live_refresh_stats.h"
#include "background/live_update.h"
#include "background/live_view_options.h"
#include "background/row_span.h"
#include "capture/display_bitmap.h"
#include "capture/display_info.h"
#include "common/display_region.h"
#include "common/key_event_sink.h"
#include "gui_dump/gui_object_map.h"
#include "transport/at/connection_settings.h"
#include "transport/at/serial_port.h"
#include "transport/at/trace_sink.h"

namespace panelgrab {

// Results of the phone operations.
enum PhoneResult : int32_t {
    kPhoneOk = 0,
    kPhoneOpenFailed = 1, // only Open returns it
    kPhoneFailed = 5,     // exchange failed, not supported, no job to ask, or a read already runs
    kPhoneBadAnswer = 6,  // the phone answered, but the answer was not usable
};

// The interface through which a client talks to a phone. The operations run one at a time: the
// client serialises them (on one thread, or under a lock of its own); ClosePortNow may come from any
// thread at any time; the key events arrive on the listener's worker thread. docs/ARCHITECTURE.md
// has the whole threading table.
//
// Key events: StartKeyEvents switches the phone's reporting on and delivers every key report to the
// client, also those that arrive during another command or a picture transfer. StopKeyEvents returns
// within about one read wait, also while a picture transfer holds the port (the switch-off then
// follows right after the transfer); it returns kPhoneFailed when the switch-off got no OK. When the
// port fails under the listener, the client's OnKeyEventsLost says so and no event follows.
// From inside a key handler (the listener's thread):
// - StopKeyEvents: no further event reaches the client; once the handler has returned, the
//   listener switches the reporting off and ends. Returns kPhoneOk.
// - StartKeyEvents: the running listener carries on, delivering to the given client (a stop asked
//   for in the same handler is undone). Returns kPhoneOk.
// - Destroying the phone object: the port is closed and no further event arrives; the listener's
//   thread frees what it still uses once the handler has returned.
class PhoneLink {
public:
    explicit PhoneLink(std::unique_ptr<SerialPort> ownedPort) : port(std::move(ownedPort)) {}
    virtual ~PhoneLink() = default;
    PhoneLink(const PhoneLink&) = delete;
    PhoneLink& operator=(const PhoneLink&) = delete;

    virtual int32_t Open(bool sendInitCommands) = 0;
    virtual int32_t Close() = 0;
    virtual int32_t ReservedOperation1() = 0;
    virtual int32_t CheckConnection() = 0;
    virtual int32_t GetModel(std::string& model) = 0;
    virtual int32_t ReservedOperation2() = 0;
    virtual int32_t GetGuiObjects(GuiObjectMap& objects) = 0;
    virtual int32_t ReservedOperation3() = 0;
    virtual int32_t ReadDisplay(DisplayBitmap& picture, int32_t position) = 0;
    virtual int32_t GetDisplayChecksum(const DisplayRegion& region, int32_t displayNumber,
                                       int32_t& checksum) = 0;
    virtual int32_t GetDisplayList(DisplayList& displays) = 0;
    // Reads `display`, an entry of this phone object's last display list, as ReadDisplay does but
    // without asking for the list (and, when the phone listed it with AT*ZISI=?, whether it has the
    // bulk read) again.
    virtual int32_t ReadListedDisplay(DisplayBitmap& /*picture*/, const DisplayInfo& /*display*/) {
        return kPhoneFailed;
    }
    // The entry is copied; the caller's need not outlive the read.
    virtual int32_t StartScreenRead(const DisplayInfo& display) = 0;
    virtual int32_t StopScreenRead() = 0;
    virtual int32_t GetReadProgress() = 0;
    // Sets `picture` to the read job's bitmap, refreshed from what has arrived (null when it cannot
    // be made yet). The bitmap stays owned by the phone object and valid until the next
    // StartScreenRead or the phone object's destruction.
    virtual int32_t GetReadImage(const DisplayBitmap*& picture) = 0;
    virtual int32_t GetRegionChecksum(const DisplayRegion& region, int32_t& checksum) = 0;
    virtual bool IsReadRunning() = 0;
    virtual int32_t PressKeyTimed(const std::string& keys, int32_t pressMs, int32_t pauseMs) = 0;
    virtual int32_t PressKey(const std::string& keys) = 0;
    virtual int32_t StartKeyEvents(KeyEventSink* client) = 0;
    virtual int32_t StopKeyEvents(int32_t unused) = 0;
    // Sends the text as it is. `answer` is the phone's whole answer (echo included) when it ended in
    // OK (kPhoneOk) or in ERROR (kPhoneFailed); empty when none came.
    virtual int32_t SendCommand(const std::string& command, std::string& answer) = 0;
    virtual void SetTraceSink(TraceSink* sink) = 0;

    // Why the background read ended short of the whole picture (the screen buffer's own text, or
    // the port's when the port failed); empty while it runs, after a whole picture, and with no read.
    virtual std::string GetReadFailure() = 0;

    // Live view: a background job keeps the picture of one display current. It reads every line
    // first, then refreshes again and again, asking the phone for checksums of bands of rows and
    // re-reading only the lines of bands that changed; a full read follows every
    // options.fullReadEveryMs and when asked for. (How and why: LiveViewTask.)
    //
    // Threading: every operation is called from the client's thread, as all others; the refreshes
    // run on the job's worker. While it runs, Open, ReadDisplay, StartScreenRead and a second
    // StartLiveView are refused with kPhoneFailed; the other operations take turns with the
    // refreshes on the port, each waiting at most for the exchange in hand (a line or a checksum,
    // milliseconds). A phone object without a live view refuses every one of these.
    //
    // Starts the job on `display` (copied). kPhoneFailed while a read or a live view runs, for
    // invalid options (FailureText says so), or when no thread could be made.
    virtual int32_t StartLiveView(const DisplayInfo& /*display*/, const LiveViewOptions& /*options*/) {
        return kPhoneFailed;
    }
    // Ends the job and returns once its worker has left the port (after the exchange in hand; a
    // phone that stopped answering holds it until that exchange's time-out). The picture stays
    // readable. kPhoneFailed when there is no job.
    virtual int32_t StopLiveView() { return kPhoneFailed; }
    // True from StartLiveView until StopLiveView or the job's failure (GetLiveFailure says why).
    virtual bool IsLiveViewRunning() { return false; }
    // The next refresh reads every line, and starts at once. kPhoneFailed when no job runs.
    virtual int32_t RequestLiveFullRead() { return kPhoneFailed; }
    // Decodes the rows that arrived since the last call into the job's bitmap and sets `picture` to
    // it, the rows in `changedRows` (top down), so that a window repaints only those. `picture` is
    // null until the job has chosen the display; it stays owned by the phone object and valid until
    // the next StartLiveView or the phone object's destruction. kPhoneFailed when there is no job.
    virtual int32_t GetLiveImage(const DisplayBitmap*& /*picture*/, std::vector<RowSpan>& changedRows) {
        changedRows.clear();
        return kPhoneFailed;
    }
    // The live picture as the last refresh that found nothing left to mend left it: never a
    // picture a refresh is still changing or a change only partly mended, so it is what files and
    // recordings are made of (GetLiveImage shows every row as soon as it arrives). Immutable and
    // shared; null with no job or before its first such refresh.
    // `refreshNumber` (optional) gets the number of that refresh.
    virtual std::shared_ptr<const Picture> GetLiveSnapshot(int64_t* /*refreshNumber*/ = nullptr) {
        return nullptr;
    }
    // Moves what each refresh finished since the last call did into `finished`, oldest first (the
    // job keeps the last 1024; LiveRefreshStats::number shows a gap). kPhoneFailed when no job.
    virtual int32_t TakeLiveRefreshes(std::vector<LiveRefreshStats>& finished) {
        finished.clear();
        return kPhoneFailed;
    }
    // Why every refresh reads the whole display (the phone refused checksums); empty otherwise.
    // The refresh on which that began carries the same text in its notice, once.
    virtual std::string GetLiveNotice() { return {}; }
    // Why the live view ended by itself (the port's text, e.g. a phone gone, or the screen buffer's);
    // empty while it runs, when StopLiveView ended it, and with no job.
    virtual std::string GetLiveFailure() { return {}; }

    // Live view, pushed to the client (instead of polling the operations above):
    // `handler` gets every refresh as soon as it has ended, with what it did and the regions of the
    // picture it fetched (rows with their columns), and while it goes on what it fetched so far
    // (LiveUpdate::partial), on the live view's worker thread; it holds for
    // this and every later live view until replaced, and an empty one ends the calls. The handler
    // should only note the update and wake its own thread, which then calls GetLiveImage and
    // TakeLiveRefreshes; it must not call the phone object itself. Returns once a call in progress
    // has returned (so not from inside the handler). kPhoneFailed for a phone object without a live view.
    virtual int32_t SetLiveUpdateHandler(LiveUpdateHandler /*handler*/) { return kPhoneFailed; }
    // Blocks until a refresh not yet taken with TakeLiveRefreshes has ended, rows were handed out
    // since the last GetLiveImage or TakeLiveRefreshes, or the live view has ended, or `timeoutMs` has
    // passed; true unless the time passed (also true with no live view).
    virtual bool WaitForLiveRefresh(int32_t /*timeoutMs*/) { return true; }

    // The port's fixed text and OS reason of the last failure, for messages.
    const SerialPort& Port() const { return *port; }
    // Why the last failed operation failed when the port was not the reason: the screen buffer's
    // own text, e.g. "The phone reported a display too large to read."; null when the port's text
    // (Port().errorText()) tells it.
    const char* FailureText() const { return failureText.load(); }
    // The last failed operation's reason in its own words, where a fixed text cannot say it ("the
    // picture had 220 lines of 1408 digits expected; line 0 had 20000", "the key text holds '\"'…");
    // empty otherwise. Reset when an operation begins.
    std::string FailureDetail() const {
        std::lock_guard lock(detailLock);
        return failureDetail;
    }
    // Closes the port from any thread (e.g. on a signal): an exchange blocked on it ends at once and
    // later ones fail. Close() is still called from the client's thread afterwards.
    void ClosePortNow() { port->Close(); }
    // What the user should know about a long wait of the port (a phone still sending the rest of a
    // picture a stopped program asked for); called on the waiting thread. Set before Open.
    void SetNoticeHandler(std::function<void(const std::string&)> handler) {
        port->SetNoticeHandler(std::move(handler));
    }

protected:
    std::unique_ptr<SerialPort> port;
    std::atomic<KeyEventSink*> keyClient{nullptr};
    std::atomic<const char*> failureText{nullptr};
    void SetFailureDetail(std::string detail) {
        std::lock_guard lock(detailLock);
        failureDetail = std::move(detail);
    }
    // A new operation: no reason of an earlier one may be shown for it.
    void BeginOperation() {
        failureText = nullptr;
        SetFailureDetail({});
    }

private:
    mutable std::mutex detailLock;
    std::string failureDetail;
};

// kind 0 gives an AtPhone over a new SerialPort made from a copy of the settings; others give none.
std::unique_ptr<PhoneLink> CreatePhoneLink(int32_t kind, const ConnectionSettings& settings);
std::unique_ptr<PhoneLink> CreatePhone(const ConnectionSettings& settings);

} // namespace panelgrab
