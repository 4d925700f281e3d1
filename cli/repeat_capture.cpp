#include "cli/repeat_capture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/numbered_file_name.h"
#include "cli/picture_series.h"

namespace panelgrab::cli {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks at the stop signals.
constexpr std::chrono::milliseconds kWaitSlice{50};

// The capture schedule: picture k (from 0) is due at start + k * every. A capture that overruns
// its slot skips the slots it missed instead of bunching the next pictures together.
class Schedule {
public:
    Schedule(double every, std::optional<double> seconds)
        : start_(Clock::now()), every_(every), seconds_(seconds) {}

    // The time the next picture is due, or none once it would fall after the --seconds limit.
    std::optional<Clock::time_point> Next() {
        ++slot_;
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        if (every_ > 0 && static_cast<double>(slot_) * every_ < elapsed) {
            slot_ = static_cast<int64_t>(std::ceil(elapsed / every_));
        }
        const double due = every_ * static_cast<double>(slot_);
        if (seconds_ && std::max(due, elapsed) >= *seconds_) {
            return std::nullopt;
        }
        return start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(due));
    }

private:
    Clock::time_point start_;
    double every_;
    std::optional<double> seconds_;
    int64_t slot_ = 0;
};

// Sleeps until `due`; false when a stop signal came first.
bool WaitUntil(Clock::time_point due, const PhoneSession& session) {
    while (!session.Interrupted()) {
        const auto now = Clock::now();
        if (now >= due) {
            return true;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kWaitSlice));
    }
    return false;
}

class RepeatedCapture {
public:
    RepeatedCapture(const CliOptions& options, const DisplayInfo& display, PhoneSession& session, CliIo& io,
                    NumberedFileName names)
        : options_(options), display_(display), session_(session), io_(io), names_(std::move(names)),
          series_(options.compare) {}

    int Run() {
        Schedule schedule(*options_.compare.every, options_.seconds);
        int code = kExitOk;
        while (!options_.count || taken_ < *options_.count) {
            if (!TakeOne(code)) {
                break;
            }
            const std::optional<Clock::time_point> due = schedule.Next();
            if (!due || (options_.count && taken_ >= *options_.count) || !WaitUntil(*due, session_)) {
                break;
            }
        }
        io_.err << "panelgrab-cli: " << taken_ << (taken_ == 1 ? " picture" : " pictures") << " taken, "
                << series_.written() << " written\n"
                << std::flush;
        return code;
    }

private:
    // Captures and, unless unchanged, writes one picture. False when the run must end.
    bool TakeOne(int& code) {
        const Result<Grabbed> grabbed = session_.Core().Grab(display_, {GrabMode::AtOnce, nullptr});
        if (!grabbed) {
            code = session_.ReportFailure(grabbed.failure());
            return false;
        }
        ++taken_;
        const std::string name = names_.For(taken_);
        std::string error;
        switch (series_.Write(*grabbed->picture, name, io_.out, error)) {
        case PictureSeries::Outcome::Unchanged:
            return !session_.Interrupted();
        case PictureSeries::Outcome::Failed:
            code = session_.Report(error, kExitFailed);
            return false;
        case PictureSeries::Outcome::Written:
            break;
        }
        // The names on stdout let a script pick up each file as it comes; once nobody reads them
        // any more there is no one to capture for.
        io_.out << name << "\n" << std::flush;
        return io_.out.good() && !session_.Interrupted();
    }

    const CliOptions& options_;
    const DisplayInfo& display_;
    PhoneSession& session_;
    CliIo& io_;
    NumberedFileName names_;
    PictureSeries series_;
    int64_t taken_ = 0;
};

} // namespace

int RunRepeatedGrab(const CliOptions& options, const DisplayInfo& display, PhoneSession& session, CliIo& io) {
    std::string error;
    std::optional<NumberedFileName> names = NumberedFileName::Parse(options.output, error);
    if (!names) {
        return session.Report("-o " + options.output + ": " + error, kExitUsage);
    }
    if (std::string problem = PictureSeries(options.compare).RegionProblem(display.width, display.height);
        !problem.empty()) {
        return session.Report(problem, kExitUsage);
    }
    return RepeatedCapture(options, display, session, io, std::move(*names)).Run();
}

} // namespace panelgrab::cli
