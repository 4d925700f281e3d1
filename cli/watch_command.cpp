#include "cli/watch_command.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/capture_commands.h"
#include "cli/exit_codes.h"
#include "cli/numbered_file_name.h"
#include "cli/picture_series.h"
#include "common/atomic_file.h"
#include "session/live_recording.h"

namespace panelgrab::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The longest the loop waits for the next refresh before it looks at the stop signals again; a
// refresh wakes it at once.
constexpr int32_t kWaitSliceMs = 100;

std::string DescribeRefresh(const LiveRefreshStats& stats) {
    char line[160];
    std::snprintf(line, sizeof line, "time_s=%.3f lines=%d pixels=%lld bytes=%lld checksums=%d ms=%.1f%s",
                  static_cast<double>(stats.endedAtMs) / 1000.0, stats.linesFetched,
                  static_cast<long long>(stats.pixelsFetched), static_cast<long long>(stats.bytesReceived),
                  stats.checksumRequests, static_cast<double>(stats.microseconds) / 1000.0,
                  stats.fullRead ? " full" : "");
    return line;
}

class Watch {
public:
    Watch(const CliOptions& options, PhoneSession& session, CliIo& io, std::optional<NumberedFileName> names)
        : options_(options), session_(session), io_(io), names_(std::move(names)), series_(options.compare) {
        if (!options.record.empty()) {
            recording_.emplace(options.record, options.recordScale);
        }
    }

    int Run(const DisplayInfo& display) {
        LiveViewOptions live;
        if (options_.fullEvery) {
            live.fullReadEveryMs = static_cast<int32_t>(std::lround(*options_.fullEvery * 1000));
        }
        liveStart_ = Clock::now();
        Result<std::unique_ptr<LiveView>> started = session_.Core().StartLiveView(display, live, nullptr);
        if (!started) {
            return session_.ReportFailure(started.failure());
        }
        view_ = std::move(*started);
        const std::optional<Clock::time_point> deadline = Deadline();
        int code = kExitOk;
        for (;;) {
            const bool running = view_->Running(); // before the drain: nothing is missed
            if (!Collect(code) || session_.Interrupted() || (deadline && Clock::now() >= *deadline)) {
                break;
            }
            if (!running) {
                code = session_.ReportFailure(session_.Core().LiveViewEnded(*view_));
                break;
            }
            view_->WaitForRefresh(kWaitSliceMs);
        }
        view_->Stop();
        if (!FinishRecording() && code == kExitOk) {
            code = kExitFailed;
        }
        io_.err << "panelgrab-cli: " << refreshes_ << (refreshes_ == 1 ? " refresh" : " refreshes") << " ("
                << fullReads_ << (fullReads_ == 1 ? " full read" : " full reads") << ")";
        if (names_) {
            const int64_t written = series_.written();
            io_.err << ", " << written << (written == 1 ? " picture" : " pictures") << " written";
        }
        if (recording_) {
            io_.err << recording_->Summary();
        }
        io_.err << "\n" << std::flush;
        return code;
    }

private:
    std::optional<Clock::time_point> Deadline() const {
        if (!options_.seconds) {
            return std::nullopt;
        }
        return Clock::now() +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*options_.seconds));
    }

    // Prints the refreshes finished since the last call and writes the picture. False when the run
    // must end: --count reached, stdout closed, or a picture that could not be written (`code`).
    bool Collect(int& code) {
        const std::vector<LiveRefreshStats> finished = view_->TakeRefreshes();
        std::size_t shown = 0;
        while (shown < finished.size() &&
               !(options_.count && refreshes_ + static_cast<int64_t>(shown) >= *options_.count)) {
            ++shown;
        }
        // A new picture is written once a refresh has found nothing left to mend of a change (or
        // read every line): the line of that refresh, or the last one, names the file.
        int64_t settledAt = 0;
        const std::shared_ptr<const Picture> snapshot = view_->Settled(&settledAt);
        const LiveRefreshStats* pictured = nullptr;
        if (snapshot != nullptr && settledAt != lastSettled_ && shown > 0) {
            lastSettled_ = settledAt;
            pictured = &finished[shown - 1];
            for (std::size_t i = 0; i < shown; ++i) {
                if (finished[i].number == settledAt) {
                    pictured = &finished[i];
                }
            }
        }
        std::string file;
        if (pictured != nullptr && names_ && !WritePicture(*snapshot, pictured->number, file, code)) {
            return false;
        }
        if (pictured != nullptr && !Record(*snapshot, pictured->endedAtMs, code)) {
            return false;
        }
        for (std::size_t i = 0; i < shown; ++i) {
            const LiveRefreshStats& stats = finished[i];
            if (!stats.notice.empty()) {
                io_.err << "panelgrab-cli: " << stats.notice << "\n" << std::flush;
            }
            ++refreshes_;
            fullReads_ += stats.fullRead ? 1 : 0;
            io_.out << DescribeRefresh(stats);
            if (&stats == pictured && !file.empty()) {
                io_.out << " file=" << file;
            }
            io_.out << "\n";
        }
        io_.out << std::flush;
        return io_.out.good() && !(options_.count && refreshes_ >= *options_.count);
    }

    // Writes the live picture under the refresh's number unless --changed-only finds it unchanged
    // (then `file` stays empty). False when it could not be written.
    bool WritePicture(const Picture& snapshot, int64_t number, std::string& file, int& code) {
        const std::string name = names_->For(number);
        std::string error;
        switch (series_.Write(snapshot, name, io_.out, error)) {
        case PictureSeries::Outcome::Unchanged:
            return true;
        case PictureSeries::Outcome::Failed:
            code = session_.Report(error, kExitFailed);
            return false;
        case PictureSeries::Outcome::Written:
            file = name;
            return true;
        }
        return false;
    }

    // Hands the live picture to --record. False when it cannot be recorded (`code`).
    bool Record(const Picture& snapshot, int64_t atMs, int& code) {
        if (!recording_) {
            return true;
        }
        std::string error;
        if (!recording_->Add(snapshot, atMs, error)) {
            code = session_.Report("--record " + options_.record + ": " + error, kExitFailed);
            return false;
        }
        return true;
    }

    // Writes --record's file, which ends now. False (said) when it could not be written.
    bool FinishRecording() {
        if (!recording_) {
            return true;
        }
        const auto endMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - liveStart_);
        std::string error;
        if (!recording_->Finish(endMs.count(), error)) {
            session_.Report("--record " + options_.record + ": " + error, kExitFailed);
            return false;
        }
        return true;
    }

    const CliOptions& options_;
    PhoneSession& session_;
    CliIo& io_;
    std::optional<NumberedFileName> names_;
    PictureSeries series_;
    int64_t refreshes_ = 0;
    int64_t fullReads_ = 0;
    std::optional<LiveRecording> recording_;
    std::unique_ptr<LiveView> view_;
    int64_t lastSettled_ = 0; // the refresh whose picture was written last
    Clock::time_point liveStart_;
};

} // namespace

int RunWatch(const CliOptions& options, PhoneSession& session, CliIo& io) {
    std::optional<NumberedFileName> names;
    if (!options.output.empty()) {
        std::string error;
        names = NumberedFileName::Parse(options.output, error);
        if (!names) {
            return session.Report("-o " + options.output + ": " + error, kExitUsage);
        }
    }
    int code = kExitOk;
    const std::optional<DisplayInfo> display = ChooseDisplay(options, session, code);
    if (!display) {
        return code;
    }
    if (std::string error; !options.record.empty() && !CanCreateFileAt(options.record, error)) {
        return session.Report("--record " + options.record + ": " + error, kExitUsage);
    }
    if (std::string problem = PictureSeries(options.compare).RegionProblem(display->width, display->height);
        !problem.empty()) {
        return session.Report(problem, kExitUsage);
    }
    return Watch(options, session, io, std::move(names)).Run(*display);
}

} // namespace panelgrab::cli
