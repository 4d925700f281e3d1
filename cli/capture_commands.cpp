#include "cli/capture_commands.h"

#include <chrono>
#include <optional>
#include <string>

#include "cli/comparison_report.h"
#include "cli/exit_codes.h"
#include "cli/numbered_file_name.h"
#include "cli/picture_output.h"
#include "cli/progress_bar.h"
#include "cli/repeat_capture.h"
#include "common/atomic_file.h"

namespace panelgrab::cli {

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

// The bar goes to a terminal only, and not among the lines of a trace.
bool ShowsProgress(const CliOptions& options, const CliIo& io) {
    return io.errIsTerminal && !options.trace;
}

} // namespace

std::optional<DisplayInfo> ChooseDisplay(const CliOptions& options, PhoneSession& session, int& code) {
    Result<DisplayInfo> display = session.Core().DisplayAt(static_cast<std::size_t>(options.display));
    if (!display) {
        code = session.ReportFailure(display.failure());
        return std::nullopt;
    }
    return *display;
}

namespace {

// Writes the picture when -o names a file, then compares it with the --expect reference if any.
int SaveAndReport(const CliOptions& options, const Picture& taken, const Picture* reference,
                  PhoneSession& session, CliIo& io) {
    std::string error;
    if (!options.output.empty() && !SavePicture(taken, options.output, io.out, error)) {
        return session.Report(error, kExitFailed);
    }
    if (!options.output.empty() && options.output != "-") {
        io.err << "panelgrab-cli: wrote " << options.output << " (" << taken.width() << "x" << taken.height()
               << ")\n"
               << std::flush;
    }
    return reference != nullptr ? ReportComparison(options.compare, *reference, taken, io) : kExitOk;
}

int GrabAtOnce(const CliOptions& options, const DisplayInfo& display, const Picture* reference,
               PhoneSession& session, CliIo& io) {
    const Result<Grabbed> grabbed = session.Core().Grab(display, {GrabMode::AtOnce, nullptr});
    if (!grabbed) {
        return session.ReportFailure(grabbed.failure());
    }
    return SaveAndReport(options, *grabbed->picture, reference, session, io);
}

int PrintRegionChecksum(const DisplayRegion& region, PhoneSession& session, CliIo& io) {
    const Result<uint32_t> checksum = session.Core().RegionChecksum(region);
    if (!checksum) {
        return session.ReportFailure(checksum.failure());
    }
    io.out << *checksum << "\n" << std::flush;
    return kExitOk;
}

int GrabInBackground(const CliOptions& options, const DisplayInfo& display, const Picture* reference,
                     PhoneSession& session, CliIo& io) {
    ProgressBar bar(io.err, ShowsProgress(options, io), 2 * session.Core().ReadWait());
    const auto drawBar = [&bar](const GrabProgress& progress) {
        bar.Update(progress.lines, progress.totalLines);
        return true;
    };
    const Result<Grabbed> grabbed =
        session.Core().Grab(display, {GrabMode::Background, drawBar, kPollInterval});
    bar.Finish();
    if (!grabbed) {
        return session.ReportFailure(grabbed.failure());
    }
    if (int code = SaveAndReport(options, *grabbed->picture, reference, session, io); code != kExitOk) {
        return code;
    }
    return options.regionChecksum ? PrintRegionChecksum(*options.regionChecksum, session, io) : kExitOk;
}

} // namespace

bool RegionFits(const DisplayRegion& region, const DisplayInfo& display) {
    return region.right < display.width && region.bottom < display.height;
}

int RunGrab(const CliOptions& options, PhoneSession& session, CliIo& io) {
    // An unreadable reference is found before the phone spends time on a capture.
    std::optional<Picture> reference;
    if (!options.compare.expectFile.empty() &&
        !ReadPictureToCompare(options.compare.expectFile, reference.emplace(), io)) {
        return kExitUsage;
    }
    int code = kExitOk;
    std::optional<DisplayInfo> display = ChooseDisplay(options, session, code);
    if (!display) {
        return code;
    }
    if (options.regionChecksum && !RegionFits(*options.regionChecksum, *display)) {
        return session.Report("--region-checksum lies outside the " + std::to_string(display->width) + "x" +
                                  std::to_string(display->height) + " display",
                              kExitUsage);
    }
    if (options.compare.every) {
        return RunRepeatedGrab(options, *display, session, io);
    }
    const Picture* expected = reference ? &*reference : nullptr;
    // Only the background worker counts what has arrived, so a read that shows its progress runs there.
    if (options.background || options.regionChecksum || ShowsProgress(options, io)) {
        return GrabInBackground(options, *display, expected, session, io);
    }
    return GrabAtOnce(options, *display, expected, session, io);
}

bool CheckGrabOutput(const CliOptions& options, std::string& error) {
    if (options.output.empty() || options.output == "-") {
        return true;
    }
    std::string target = options.output;
    if (options.compare.every) {
        if (std::optional<NumberedFileName> names = NumberedFileName::Parse(options.output, error)) {
            target = names->For(1);
        }
    }
    if (std::string why; !CanCreateFileAt(target, why)) {
        error = "-o " + options.output + ": cannot create a file in " + FolderOf(target) + ": " + why;
        return false;
    }
    return true;
}

int RunChecksum(const CliOptions& options, PhoneSession& session, CliIo& io) {
    const Result<uint32_t> checksum = session.Core().Checksum(*options.region, options.display);
    if (!checksum) {
        return session.ReportFailure(checksum.failure());
    }
    io.out << *checksum << "\n" << std::flush;
    return kExitOk;
}

} // namespace panelgrab::cli
