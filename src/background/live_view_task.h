#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "background/band_checksums.h"
#include "background/changed_rows.h"
#include "background/crossed_bands.h"
#include "background/live_refresh_stats.h"
#include "background/live_update.h"
#include "background/live_view_options.h"
#include "background/row_span.h"
#include "capture/display_bitmap.h"
#include "capture/display_info.h"
#include "common/image/picture.h"
#include "jobs/threaded_task.h"

namespace panelgrab {

class ScreenImage;

// Keeps the picture of one display current. The first refresh reads every line, band by band with
// the bands' sums; when those sums equal the ones computed over the picture (the phone sums as we
// do), later refreshes compare the phone's sums of moving bands and strips with the picture's and
// fetch the columns that differ of the rows that differ (CrossedBands: no difference that changes a
// row's or a column's sum stays unseen for more than bandRows or stripColumns refreshes). Otherwise
// each band's sum is compared with its own earlier one and changed rows are fetched whole
// (BandChecksums, with the blind spots it describes). A full read follows every
// options.fullReadEveryMs and on request, the last resort for what no sum sees. A phone that refuses
// checksums gets a full read on every refresh, and the refresh that found out says so once
// (LiveRefreshStats::notice, Notice()).
//
// Pacing: a refresh starts at most every refreshIntervalMs; one that found nothing is followed by a
// pause that keeps the line about stillLinePercent busy, so a still screen leaves the line to
// others; during that pause the rows that changed lately are looked at every quarter of a refresh,
// and a change there starts the next refresh at once. Other threads' commands wait at most for the exchange
// in hand, never for a whole refresh.
//
// Clients learn of each refresh as it ends: SetUpdateHandler's handler gets what it did and the
// regions it fetched, on the worker; WaitForRefresh wakes a client thread that then takes them.
//
// Lines are fetched one by one with AT*ZIPI, which serves the first display; on another display a
// refresh that finds a change reads the whole picture in bulk (AT*ZISI=n).
//
// Threading: the owner's thread calls every operation. Start runs refresh after refresh on the job's
// worker; without a worker the owner may run them itself, one per Run. Every line is stored in the
// screen buffer under its lock as it arrives, so GetPicture may decode while a refresh runs. The
// worker's exchanges take turns with other threads' exchanges on the port, one at a time (a bulk read
// holds the port to its end). Stop returns once the worker has left the port, after the exchange in
// hand: milliseconds, unless the phone stopped answering, which holds it until the exchange's
// time-out (closing the port ends it at once). The owner stops the job, or closes the port and joins,
// before it destroys it; the destructor does both as a last resort.
class LiveViewTask : public ThreadedTask {
public:
    static constexpr const char* kNoticeNoChecksums =
        "The phone does not give checksums (AT*ZAPC): every refresh reads the whole display.";
    static constexpr const char* kNoticeChecksumRefused =
        "The phone refused a checksum request (AT*ZAPC): from now on every refresh reads the whole display.";
    static constexpr const char* kTextDisplayGone = "The phone no longer lists the display being watched.";
    // Stats kept for TakeRefreshes; older ones are dropped.
    static constexpr std::size_t kKeptRefreshes = 1024;

    // `display` (copied) is the entry the client chose; the phone's own list is asked again.
    LiveViewTask(const DisplayInfo& display, const LiveViewOptions& options, SerialPort& port);
    ~LiveViewTask() override;

    // supported = the phone answers "AT*ZAPC=?" with OK. Returns the exchange's result.
    int IsSupported(bool& supported) override;
    // One refresh on the calling thread; Ok, or ReceiveFailed when the job failed (FailureText).
    // Only while no worker runs.
    int Run() override;
    // Starts the worker; false when it was started before or no thread could be made.
    bool Start() override;
    // Ends the worker's loop and joins it. Always true.
    bool Stop() override;
    // True from Start until the worker has ended (Stop, or a failure).
    bool IsRunning() override;

    // The next refresh reads every line; it starts at once.
    void RequestFullRead();
    // Decodes the rows stored since the last call into the job's picture and returns it (always the
    // same object, owned by the job), those rows in `changed`; null before the display was chosen.
    const DisplayBitmap* GetPicture(std::vector<RowSpan>& changed);
    // The picture as it stood after the last refresh that found nothing left to mend (or read every
    // line): never one a refresh is still changing, nor one a change was only partly mended in. Its
    // refresh's number in `refreshNumber`; null before the first such refresh. Immutable: any
    // thread may keep it as long as it likes.
    std::shared_ptr<const Picture> Snapshot(int64_t* refreshNumber = nullptr) const;
    // Moves the stats of the refreshes finished since the last call into `finished`, oldest first.
    void TakeRefreshes(std::vector<LiveRefreshStats>& finished);
    // Why the job ended by itself: the screen buffer's text, or the port's. Empty while it runs.
    std::string FailureText() const;
    // Why every refresh is a full read; empty while refreshes narrow.
    std::string Notice() const;

    // `handler` gets every refresh from now on, on the refreshing thread, as soon as it has ended and
    // its lines are stored (GetPicture on the owner's thread then shows them); an empty one stops
    // the calls. Returns once a call in progress has returned, so it must not be called from inside
    // the handler; the handler must not call Stop or the destructor either.
    void SetUpdateHandler(LiveUpdateHandler handler);
    // Waits until a refresh not yet taken (TakeRefreshes) has ended, rows were handed out since the
    // last GetPicture or TakeRefreshes, or the worker has ended, at most `timeout`; true when one is so.
    bool WaitForRefresh(std::chrono::milliseconds timeout);
    // True once the refreshes compare the phone's sums with the picture's (CrossedBands).
    bool ComparesWithPicture() const { return crossed_.load(); }

private:
    using Clock = std::chrono::steady_clock;
    enum class StepEnd { Done, Stopped, Failed };

    void Loop();
    void WaitUntil(Clock::time_point due);
    StepEnd Step();
    // Chooses the display and asks whether the phone gives checksums.
    StepEnd Open(LiveRefreshStats& stats);
    StepEnd FullRead(LiveRefreshStats& stats);
    StepEnd Narrow(LiveRefreshStats& stats);
    // A full read (everyRow) or a refresh by the bands' sums. On a refused sum it falls back and
    // leaves the rest to a read without sums.
    StepEnd UseBands(LiveRefreshStats& stats, bool everyRow);
    // A refresh by the crossed bands and strips, judged against the picture's own sums.
    StepEnd UseCrossed(LiveRefreshStats& stats);
    // After a full read by bands: the phone's band sums against the picture's.
    void CompareSumsWithPicture();
    StepEnd FetchColumns(int32_t row, int32_t firstColumn, int32_t lastColumn, LiveRefreshStats& stats);
    void NoteRegion(int32_t row, int32_t firstColumn, int32_t lastColumn);
    CrossedBands::Answer AskRegion(const DisplayRegion& region, int32_t& sum);
    // Waits until `due`, looking at the rows that changed lately every quarter of a refresh (`took`),
    // and returns early when they changed.
    void WaitWatchingHotSpots(Clock::time_point due, Clock::duration took);
    // How long after a refresh that took `took` the next may start.
    Clock::duration PauseAfter(bool fetched, Clock::duration took) const;
    StepEnd ReadEveryLine(LiveRefreshStats& stats);
    StepEnd FetchRows(int32_t first, int32_t last, LiveRefreshStats& stats);
    BandChecksums::Answer AskSum(int32_t top, int32_t bottom, int32_t& sum);
    void FallBack(const char* notice, LiveRefreshStats& stats);
    StepEnd Fail(const char* text);
    bool FullReadDue() const;
    void Record(LiveRefreshStats stats);
    // Hands out what the refresh in hand fetched so far.
    void HandOutSoFar(const LiveRefreshStats& stats);
    void Deliver(const LiveUpdate& update);
    void Ended();

    const DisplayInfo display_;
    const LiveViewOptions options_;
    const std::unique_ptr<ScreenImage> screen_;
    DisplayBitmap picture_; // the owner's thread only
    ChangedRows changedRows_;

    // The refreshing thread's own (the worker, or the owner through Run).
    std::optional<DisplayInfo> entry_;
    std::optional<BandChecksums> bands_;
    std::optional<CrossedBands> crossedBands_;
    std::atomic<bool> crossed_{false};
    bool columnsServed_ = true;       // the phone answers AT*ZIPI with the columns asked for
    std::vector<LiveRegion> regions_; // fetched by the refresh in hand
    bool lastFetched_ = false;
    int32_t hotRequests_ = 0; // asked between refreshes, counted with the next one
    int64_t hotBytes_ = 0;
    bool narrowing_ = true;
    Clock::time_point start_;
    Clock::time_point lastFullRead_;
    int64_t refreshes_ = 0;

    bool started_ = false;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopAsked_{false};
    std::atomic<bool> fullReadAsked_{false};
    std::mutex wakeLock_; // guards the changes of the two flags above that end a wait
    std::condition_variable wake_;
    std::atomic<const char*> failure_{nullptr};

    mutable std::mutex statsLock_;
    std::shared_ptr<const Picture> snapshot_; // under statsLock_
    int64_t snapshotNumber_ = 0;              // under statsLock_
    bool unsettled_ = false;                  // lines were fetched since the snapshot (the worker's own)
    std::condition_variable refreshed_;
    std::deque<LiveRefreshStats> finished_;
    bool freshRows_ = false; // rows handed out that GetPicture has not shown yet
    std::mutex handlerLock_; // held while the handler runs
    LiveUpdateHandler handler_;
    const char* notice_ = nullptr;
};

} // namespace panelgrab
