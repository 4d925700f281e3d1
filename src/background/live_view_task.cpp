#include "background/live_view_task.h"

#include <algorithm>
#include <utility>

#include "capture/checksum_task.h"
#include "capture/screen_image.h"
#include "common/display_region.h"
#include "transport/at/serial_port.h"

namespace panelgrab {

LiveViewTask::LiveViewTask(const DisplayInfo& display, const LiveViewOptions& options, SerialPort& livePort)
    : ThreadedTask(livePort), display_(display), options_(options), screen_(std::make_unique<ScreenImage>()),
      changedRows_(display.height), start_(Clock::now()), lastFullRead_(start_) {
    picture_.SetSize(display_); // a failed sizing leaves no pixel rows: GetPicture gives null
}

LiveViewTask::~LiveViewTask() {
    Stop();
}

int LiveViewTask::IsSupported(bool& supported) {
    ChecksumTask probe(DisplayRegion{}, display_.displayNumber, port);
    return probe.IsSupported(supported);
}

int LiveViewTask::Run() {
    return Step() == StepEnd::Failed ? ReceiveFailed : Ok;
}

bool LiveViewTask::Start() {
    if (started_) {
        return false;
    }
    started_ = true;
    running_ = true;
    if (!Launch([this] { Loop(); })) {
        running_ = false;
        return false;
    }
    return true;
}

bool LiveViewTask::Stop() {
    {
        std::lock_guard guard(wakeLock_);
        stopAsked_ = true;
    }
    wake_.notify_all();
    Join();
    return true;
}

bool LiveViewTask::IsRunning() {
    return running_;
}

void LiveViewTask::RequestFullRead() {
    {
        std::lock_guard guard(wakeLock_);
        fullReadAsked_ = true;
    }
    wake_.notify_all();
}

void LiveViewTask::Loop() {
    while (!stopAsked_) {
        const Clock::time_point started = Clock::now();
        if (Step() == StepEnd::Failed) {
            break;
        }
        const Clock::duration took = Clock::now() - started;
        WaitWatchingHotSpots(started + PauseAfter(lastFetched_, took), took);
    }
    Ended();
}

void LiveViewTask::WaitWatchingHotSpots(Clock::time_point due, Clock::duration took) {
    if (!crossed_ || !narrowing_ || lastFetched_ || !crossedBands_->hasHotSpots()) {
        WaitUntil(due);
        return;
    }
    // A look every quarter of a refresh: a change where the screen changed lately is seen within
    // that, for a few requests more than the still refreshes' share of the line.
    const Clock::duration every = std::max<Clock::duration>(took / 4, std::chrono::milliseconds(10));
    const auto ask = [this](const DisplayRegion& region, int32_t& sum) {
        ++hotRequests_;
        return AskRegion(region, sum);
    };
    const auto local = [this](const DisplayRegion& region) {
        return screen_->RegionChecksum(region.left, region.top, region.right, region.bottom);
    };
    for (;;) {
        WaitUntil(std::min(due, Clock::now() + every));
        if (stopAsked_ || fullReadAsked_ || Clock::now() >= due) {
            return;
        }
        bool differs = false;
        const uint64_t before = port.bytesReceived();
        const CrossedBands::Outcome outcome = crossedBands_->LookAtHotSpots(ask, local, differs);
        hotBytes_ += static_cast<int64_t>(port.bytesReceived() - before);
        if (outcome != CrossedBands::Outcome::Done || differs) {
            return; // the refresh that follows at once fetches it, or meets the failure
        }
    }
}

LiveViewTask::Clock::duration LiveViewTask::PauseAfter(bool fetched, Clock::duration took) const {
    const Clock::duration interval = std::chrono::milliseconds(options_.refreshIntervalMs);
    if (fetched) {
        return interval;
    }
    // The refresh's own time is the line's busy share; the rest of the period leaves it free.
    const Clock::duration period = took * 100 / options_.stillLinePercent;
    return std::max(interval, period);
}

void LiveViewTask::Ended() {
    {
        std::lock_guard guard(statsLock_);
        running_ = false;
    }
    refreshed_.notify_all();
    if (failure_.load() != nullptr) {
        LiveUpdate last;
        last.stats.number = refreshes_ + 1;
        last.ended = true;
        Deliver(last);
    }
}

void LiveViewTask::WaitUntil(Clock::time_point due) {
    std::unique_lock guard(wakeLock_);
    wake_.wait_until(guard, due, [this] { return stopAsked_.load() || fullReadAsked_.load(); });
}

LiveViewTask::StepEnd LiveViewTask::Step() {
    LiveRefreshStats stats;
    const Clock::time_point started = Clock::now();
    const uint64_t bytesBefore = port.bytesReceived();
    StepEnd end = StepEnd::Done;
    if (!entry_) {
        end = Open(stats);
        if (end == StepEnd::Done) {
            end = FullRead(stats);
        }
    } else if (fullReadAsked_.exchange(false) || !narrowing_ || FullReadDue()) {
        end = FullRead(stats);
    } else {
        end = Narrow(stats);
    }
    if (end != StepEnd::Done) {
        regions_.clear();
        return end; // a refresh cut short says nothing: the next one covers what it left
    }
    lastFetched_ = stats.linesFetched > 0;
    const Clock::time_point ended = Clock::now();
    stats.bytesReceived =
        static_cast<int64_t>(port.bytesReceived() - bytesBefore) + std::exchange(hotBytes_, 0);
    stats.checksumRequests += std::exchange(hotRequests_, 0);
    stats.microseconds = std::chrono::duration_cast<std::chrono::microseconds>(ended - started).count();
    stats.endedAtMs = std::chrono::duration_cast<std::chrono::milliseconds>(ended - start_).count();
    Record(std::move(stats));
    return end;
}

LiveViewTask::StepEnd LiveViewTask::Open(LiveRefreshStats& stats) {
    if (!screen_->SelectNumberedDisplay(port, display_.displayNumber)) {
        const char* text = screen_->errorText();
        if (text == nullptr && port.IsOpen() && !screen_->displays().empty()) {
            text = kTextDisplayGone; // the list came, without this display
        }
        return Fail(text != nullptr ? text : port.errorText());
    }
    bool supported = false;
    const int probed = IsSupported(supported);
    if (probed != Ok && probed != ErrorAnswer) {
        return Fail(port.errorText());
    }
    entry_ = screen_->current();
    if (entry_->displayNumber == 0) {
        bands_.emplace(entry_->height, options_.bandRows, options_.smallestBandRows);
    } else {
        bands_.emplace(entry_->height, entry_->height, entry_->height); // its picture comes whole only
    }
    if (!supported) {
        FallBack(kNoticeNoChecksums, stats);
    }
    return StepEnd::Done;
}

LiveViewTask::StepEnd LiveViewTask::FullRead(LiveRefreshStats& stats) {
    stats.fullRead = true;
    StepEnd end = StepEnd::Done;
    if (narrowing_ && crossed_) {
        end = ReadEveryLine(stats); // the picture's own sums are the reference: none to learn
    } else if (narrowing_) {
        end = UseBands(stats, true);
        if (end == StepEnd::Done && narrowing_ && entry_->displayNumber == 0 && options_.compareWithPicture) {
            CompareSumsWithPicture();
        }
    }
    if (end == StepEnd::Done && !narrowing_) {
        end = ReadEveryLine(stats); // no sums, or the phone refused one on the way
    }
    if (end == StepEnd::Done) {
        lastFullRead_ = Clock::now();
    }
    return end;
}

LiveViewTask::StepEnd LiveViewTask::Narrow(LiveRefreshStats& stats) {
    const StepEnd end = crossed_ ? UseCrossed(stats) : UseBands(stats, false);
    return end == StepEnd::Done && !narrowing_ ? FullRead(stats) : end;
}

LiveViewTask::StepEnd LiveViewTask::UseBands(LiveRefreshStats& stats, bool everyRow) {
    const auto ask = [this, &stats](int32_t top, int32_t bottom, int32_t& sum) {
        ++stats.checksumRequests;
        return AskSum(top, bottom, sum);
    };
    const auto fetch = [this, &stats](int32_t first, int32_t last) {
        // Another display has no single lines: its one band is the whole picture.
        const StepEnd end = entry_->displayNumber == 0 ? FetchRows(first, last, stats) : ReadEveryLine(stats);
        return end == StepEnd::Done;
    };
    const BandChecksums::Outcome outcome =
        everyRow ? bands_->ReadAll(ask, fetch) : bands_->Refresh(ask, fetch);
    if (outcome == BandChecksums::Outcome::Done) {
        return StepEnd::Done;
    }
    if (stopAsked_) {
        return StepEnd::Stopped;
    }
    if (outcome == BandChecksums::Outcome::Refused) {
        FallBack(kNoticeChecksumRefused, stats);
        return StepEnd::Done;
    }
    return failure_.load() != nullptr ? StepEnd::Failed : Fail(port.errorText());
}

void LiveViewTask::CompareSumsWithPicture() {
    const int32_t right = entry_->width - 1;
    const auto local = [this, right](int32_t top, int32_t bottom) {
        return screen_->RegionChecksum(0, top, right, bottom);
    };
    if (bands_->SumsAgreeWith(local) == BandChecksums::Agreement::Agree) {
        crossedBands_.emplace(entry_->width, entry_->height, options_.bandRows, options_.stripColumns);
        crossed_ = true;
    }
}

LiveViewTask::StepEnd LiveViewTask::UseCrossed(LiveRefreshStats& stats) {
    StepEnd fetched = StepEnd::Done;
    const auto ask = [this, &stats](const DisplayRegion& region, int32_t& sum) {
        ++stats.checksumRequests;
        return AskRegion(region, sum);
    };
    const auto local = [this](const DisplayRegion& region) {
        return screen_->RegionChecksum(region.left, region.top, region.right, region.bottom);
    };
    const auto fetch = [this, &stats, &fetched](int32_t row, int32_t first, int32_t last) {
        fetched = FetchColumns(row, first, last, stats);
        return fetched == StepEnd::Done;
    };
    const CrossedBands::Outcome outcome =
        crossedBands_->Refresh(ask, local, fetch, [this, &stats] { HandOutSoFar(stats); });
    if (outcome == CrossedBands::Outcome::Done) {
        return StepEnd::Done;
    }
    if (stopAsked_) {
        return StepEnd::Stopped;
    }
    if (outcome == CrossedBands::Outcome::Refused) {
        FallBack(kNoticeChecksumRefused, stats);
        return StepEnd::Done;
    }
    return fetched != StepEnd::Done ? fetched : Fail(port.errorText());
}

LiveViewTask::StepEnd LiveViewTask::FetchColumns(int32_t row, int32_t firstColumn, int32_t lastColumn,
                                                 LiveRefreshStats& stats) {
    if (stopAsked_) {
        return StepEnd::Stopped;
    }
    bool served = false;
    if (columnsServed_ && !screen_->FetchLineColumns(port, row, firstColumn, lastColumn, served)) {
        const char* text = screen_->errorText();
        return Fail(text != nullptr ? text : port.errorText());
    }
    if (!served) {
        columnsServed_ = false; // from now on whole lines
        return FetchRows(row, row, stats);
    }
    changedRows_.Mark(row, row);
    NoteRegion(row, firstColumn, lastColumn);
    ++stats.linesFetched;
    stats.pixelsFetched += lastColumn - firstColumn + 1;
    return StepEnd::Done;
}

void LiveViewTask::NoteRegion(int32_t row, int32_t firstColumn, int32_t lastColumn) {
    if (!regions_.empty()) {
        LiveRegion& last = regions_.back();
        if (last.lastRow + 1 == row && last.firstColumn == firstColumn && last.lastColumn == lastColumn) {
            last.lastRow = row;
            return;
        }
    }
    regions_.push_back(LiveRegion{row, row, firstColumn, lastColumn});
}

CrossedBands::Answer LiveViewTask::AskRegion(const DisplayRegion& region, int32_t& sum) {
    if (stopAsked_) {
        return CrossedBands::Answer::Failed;
    }
    ChecksumTask task(region, entry_->displayNumber, port);
    const int result = task.Run();
    if (result == Ok) {
        return task.GetResult(sum) ? CrossedBands::Answer::Sum : CrossedBands::Answer::Refused;
    }
    return result == ErrorAnswer ? CrossedBands::Answer::Refused : CrossedBands::Answer::Failed;
}

LiveViewTask::StepEnd LiveViewTask::ReadEveryLine(LiveRefreshStats& stats) {
    if (entry_->displayNumber == 0) {
        return FetchRows(0, entry_->height - 1, stats);
    }
    if (!screen_->ReadWholeAgain(port)) {
        const char* text = screen_->errorText();
        return Fail(text != nullptr ? text : port.errorText());
    }
    changedRows_.Mark(0, entry_->height - 1);
    regions_.push_back(LiveRegion{0, entry_->height - 1, 0, entry_->width - 1});
    stats.linesFetched += entry_->height;
    stats.pixelsFetched += int64_t{entry_->height} * entry_->width;
    return StepEnd::Done;
}

LiveViewTask::StepEnd LiveViewTask::FetchRows(int32_t first, int32_t last, LiveRefreshStats& stats) {
    for (int32_t line = first; line <= last; ++line) {
        if (stopAsked_) {
            return StepEnd::Stopped;
        }
        if (!screen_->FetchLines(port, line, line)) {
            const char* text = screen_->errorText();
            return Fail(text != nullptr ? text : port.errorText());
        }
        changedRows_.Mark(line, line);
        NoteRegion(line, 0, entry_->width - 1);
        ++stats.linesFetched;
        stats.pixelsFetched += entry_->width;
        if (options_.handOutFullReadRows && stats.fullRead && stats.linesFetched % options_.bandRows == 0) {
            HandOutSoFar(stats);
        }
    }
    return StepEnd::Done;
}

BandChecksums::Answer LiveViewTask::AskSum(int32_t top, int32_t bottom, int32_t& sum) {
    if (stopAsked_) {
        return BandChecksums::Answer::Failed;
    }
    ChecksumTask task(DisplayRegion{0, top, entry_->width - 1, bottom}, entry_->displayNumber, port);
    const int result = task.Run();
    if (result == Ok) {
        // An answer without a number is as good as a refusal.
        return task.GetResult(sum) ? BandChecksums::Answer::Sum : BandChecksums::Answer::Refused;
    }
    return result == ErrorAnswer ? BandChecksums::Answer::Refused : BandChecksums::Answer::Failed;
}

void LiveViewTask::FallBack(const char* notice, LiveRefreshStats& stats) {
    narrowing_ = false;
    stats.notice = notice;
    std::lock_guard guard(statsLock_);
    notice_ = notice;
}

LiveViewTask::StepEnd LiveViewTask::Fail(const char* text) {
    failure_ = text;
    return StepEnd::Failed;
}

bool LiveViewTask::FullReadDue() const {
    return options_.fullReadEveryMs > 0 &&
           Clock::now() - lastFullRead_ >= std::chrono::milliseconds(options_.fullReadEveryMs);
}

void LiveViewTask::Record(LiveRefreshStats stats) {
    stats.number = ++refreshes_;
    std::shared_ptr<const Picture> whole;
    // A refresh that fetched lines may have mended part of a change only (the rest is found by the
    // next ones), and a read of every line takes long enough for the screen to change halfway
    // through it: the picture is taken once a refresh finds nothing left to mend. Only a phone
    // without checksums, read whole every time, has nothing better than its last whole read.
    const bool settled = stats.linesFetched == 0 || (stats.fullRead && !narrowing_);
    unsettled_ = unsettled_ || stats.linesFetched > 0;
    if (settled && (unsettled_ || Snapshot() == nullptr)) {
        unsettled_ = false;
        // Decoded now, between refreshes.
        DisplayBitmap bitmap;
        if (const std::optional<DisplayInfo> entry = screen_->current();
            entry && bitmap.SetSize(*entry) && screen_->RenderInto(bitmap)) {
            whole = std::make_shared<const Picture>(bitmap.ToPicture());
        }
    }
    LiveUpdate update{stats, std::exchange(regions_, {})};
    std::sort(update.regions.begin(), update.regions.end(),
              [](const LiveRegion& a, const LiveRegion& b) { return a.firstRow < b.firstRow; });
    {
        std::lock_guard guard(statsLock_);
        if (whole) {
            snapshot_ = std::move(whole);
            snapshotNumber_ = stats.number;
        }
        finished_.push_back(std::move(stats));
        while (finished_.size() > kKeptRefreshes) {
            finished_.pop_front();
        }
    }
    refreshed_.notify_all();
    Deliver(update);
}

void LiveViewTask::HandOutSoFar(const LiveRefreshStats& stats) {
    if (regions_.empty()) {
        return;
    }
    LiveUpdate update{stats, std::exchange(regions_, {}), true};
    update.stats.number = refreshes_ + 1;
    std::sort(update.regions.begin(), update.regions.end(),
              [](const LiveRegion& a, const LiveRegion& b) { return a.firstRow < b.firstRow; });
    {
        std::lock_guard guard(statsLock_);
        freshRows_ = true;
    }
    refreshed_.notify_all();
    Deliver(update);
}

std::shared_ptr<const Picture> LiveViewTask::Snapshot(int64_t* refreshNumber) const {
    std::lock_guard guard(statsLock_);
    if (refreshNumber != nullptr) {
        *refreshNumber = snapshotNumber_;
    }
    return snapshot_;
}

void LiveViewTask::Deliver(const LiveUpdate& update) {
    std::lock_guard guard(handlerLock_);
    if (handler_) {
        handler_(update);
    }
}

void LiveViewTask::SetUpdateHandler(LiveUpdateHandler handler) {
    std::lock_guard guard(handlerLock_);
    handler_ = std::move(handler);
}

bool LiveViewTask::WaitForRefresh(std::chrono::milliseconds timeout) {
    std::unique_lock guard(statsLock_);
    return refreshed_.wait_for(guard, timeout,
                               [this] { return !finished_.empty() || freshRows_ || !running_; });
}

const DisplayBitmap* LiveViewTask::GetPicture(std::vector<RowSpan>& changed) {
    {
        std::lock_guard guard(statsLock_);
        freshRows_ = false;
    }
    changedRows_.Take(changed);
    if (!picture_.hasPixels() || !screen_->current()) {
        return nullptr;
    }
    for (const RowSpan& span : changed) {
        screen_->RenderRowsInto(picture_, span.first, span.last);
    }
    return &picture_;
}

void LiveViewTask::TakeRefreshes(std::vector<LiveRefreshStats>& finished) {
    finished.clear();
    std::lock_guard guard(statsLock_);
    freshRows_ = false;
    finished.assign(std::make_move_iterator(finished_.begin()), std::make_move_iterator(finished_.end()));
    finished_.clear();
}

std::string LiveViewTask::FailureText() const {
    const char* text = failure_.load();
    return text != nullptr && !running_ ? text : std::string();
}

std::string LiveViewTask::Notice() const {
    std::lock_guard guard(statsLock_);
    return notice_ != nullptr ? notice_ : std::string();
}

} // namespace panelgrab
