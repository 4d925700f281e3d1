#include "cli/watch_command.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "background/live_view_options.h"
#include "cli/capture_commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_guard.h"
#include "cli/numbered_file_name.h"
#include "cli/picture_conversion.h"
#include "cli/picture_output.h"
#include "compare/picture_comparison.h"

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
        : options_(options), session_(session), io_(io), names_(std::move(names)),
          comparison_(options.compare.options) {}

    int Run(const DisplayInfo& display) {
        PhoneLink& phone = session_.Phone();
        LiveViewOptions live;
        if (options_.fullEvery) {
            live.fullReadEveryMs = static_cast<int32_t>(std::lround(*options_.fullEvery * 1000));
        }
        if (int32_t result = phone.StartLiveView(display, live); result != kPhoneOk) {
            return session_.ReportFailure("starting the live view", result);
        }
        const std::optional<Clock::time_point> deadline = Deadline();
        int code = kExitOk;
        for (;;) {
            const bool running = phone.IsLiveViewRunning(); // before the drain: nothing is missed
            if (!Collect(code) || InterruptGuard::Interrupted() || (deadline && Clock::now() >= *deadline)) {
                break;
            }
            if (!running) {
                code = session_.Report("the live view ended: " + phone.GetLiveFailure(), kExitFailed);
                break;
            }
            phone.WaitForLiveRefresh(kWaitSliceMs);
        }
        phone.StopLiveView();
        io_.err << "panelgrab-cli: " << refreshes_ << (refreshes_ == 1 ? " refresh" : " refreshes") << " ("
                << fullReads_ << (fullReads_ == 1 ? " full read" : " full reads") << ")";
        if (names_) {
            io_.err << ", " << written_ << (written_ == 1 ? " picture" : " pictures") << " written";
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
        std::vector<LiveRefreshStats> finished;
        session_.Phone().TakeLiveRefreshes(finished);
        // The newest refresh that fetched lines gets the picture; the others' states are gone.
        const LiveRefreshStats* pictured = nullptr;
        std::size_t shown = 0;
        for (const LiveRefreshStats& stats : finished) {
            if (options_.count && refreshes_ + static_cast<int64_t>(shown) >= *options_.count) {
                break;
            }
            ++shown;
            if (stats.linesFetched > 0) {
                pictured = &stats;
            }
        }
        std::string file;
        if (pictured != nullptr && names_ && !WritePicture(pictured->number, file, code)) {
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
    bool WritePicture(int64_t number, std::string& file, int& code) {
        const DisplayBitmap* bitmap = nullptr;
        std::vector<RowSpan> changedRows;
        if (session_.Phone().GetLiveImage(bitmap, changedRows) != kPhoneOk || bitmap == nullptr) {
            return true;
        }
        Picture picture = ToPicture(*bitmap);
        if (options_.compare.changedOnly && lastWritten_ &&
            comparison_.Compare(*lastWritten_, picture).matches()) {
            return true;
        }
        const std::string name = names_->For(number);
        std::string error;
        if (!SavePicture(*bitmap, name, io_.out, error)) {
            code = session_.Report(error, kExitFailed);
            return false;
        }
        ++written_;
        if (options_.compare.changedOnly) {
            lastWritten_ = std::move(picture);
        }
        file = name;
        return true;
    }

    const CliOptions& options_;
    PhoneSession& session_;
    CliIo& io_;
    std::optional<NumberedFileName> names_;
    PictureComparison comparison_;
    std::optional<Picture> lastWritten_;
    int64_t refreshes_ = 0;
    int64_t fullReads_ = 0;
    int64_t written_ = 0;
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
    if (options.compare.changedOnly) {
        const PictureComparison comparison(options.compare.options);
        if (std::string problem = comparison.RegionProblem(display->width, display->height);
            !problem.empty()) {
            return session.Report(problem, kExitUsage);
        }
    }
    InterruptGuard interrupt;
    return Watch(options, session, io, std::move(names)).Run(*display);
}

} // namespace panelgrab::cli
