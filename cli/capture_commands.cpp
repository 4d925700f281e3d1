#include "cli/capture_commands.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "cli/comparison_report.h"
#include "cli/exit_codes.h"
#include "cli/numbered_file_name.h"
#include "cli/picture_output.h"
#include "cli/progress_bar.h"
#include "cli/repeat_capture.h"
#include "common/atomic_file.h"
#include "phone/phone_failure_text.h"

namespace panelgrab::cli {

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

// The bar goes to a terminal only, and not among the lines of a trace.
bool ShowsProgress(const CliOptions& options, const CliIo& io) {
    return io.errIsTerminal && !options.trace;
}

} // namespace

std::optional<DisplayInfo> ChooseDisplay(const CliOptions& options, PhoneSession& session, int& code) {
    DisplayList displays;
    if (int32_t result = session.Phone().GetDisplayList(displays); result != kPhoneOk) {
        code = session.ReportFailure("reading the display list", result);
        return std::nullopt;
    }
    if (static_cast<std::size_t>(options.display) >= displays.size()) {
        code = session.Report("the phone has no display " + std::to_string(options.display) +
                                  " (it describes " + std::to_string(displays.size()) + ", numbered from 0)",
                              kExitFailed);
        return std::nullopt;
    }
    return displays[static_cast<std::size_t>(options.display)];
}

namespace {

// Writes the picture when -o names a file, then compares it with the --expect reference if any.
int SaveAndReport(const CliOptions& options, const DisplayBitmap& picture, const Picture* reference,
                  PhoneSession& session, CliIo& io) {
    const Picture taken = picture.ToPicture();
    std::string error;
    if (!options.output.empty() && !SavePicture(taken, options.output, io.out, error)) {
        return session.Report(error, kExitFailed);
    }
    if (!options.output.empty() && options.output != "-") {
        io.err << "panelgrab-cli: wrote " << options.output << " (" << picture.width() << "x"
               << picture.height() << ")\n"
               << std::flush;
    }
    return reference != nullptr ? ReportComparison(options.compare, *reference, taken, io) : kExitOk;
}

int GrabAtOnce(const CliOptions& options, const Picture* reference, PhoneSession& session, CliIo& io) {
    DisplayBitmap picture;
    if (int32_t result = session.Phone().ReadDisplay(picture, options.display); result != kPhoneOk) {
        return session.ReportFailure("reading the display", result);
    }
    return SaveAndReport(options, picture, reference, session, io);
}

// Polls the running read until its worker ends, drawing the progress bar. Returns the final count.
int32_t WaitForRead(PhoneLink& phone, const DisplayInfo& display, ProgressBar& bar) {
    int64_t totalLines = display.height;
    int64_t lineLength = display.lineLength == 0 ? 1 : display.lineLength;
    while (phone.IsReadRunning()) {
        bar.Update(std::max(phone.GetReadProgress(), 0) / lineLength, totalLines);
        std::this_thread::sleep_for(kPollInterval);
    }
    int32_t received = phone.GetReadProgress();
    bar.Update(std::max(received, 0) / lineLength, totalLines);
    bar.Finish();
    return received;
}

int PrintRegionChecksum(const DisplayRegion& region, PhoneSession& session, CliIo& io) {
    int32_t checksum = 0;
    if (int32_t result = session.Phone().GetRegionChecksum(region, checksum); result != kPhoneOk) {
        return session.ReportFailure("the region checksum", result);
    }
    // The sum wraps at 32 bits; shown unsigned, as such sums are compared.
    io.out << static_cast<uint32_t>(checksum) << "\n" << std::flush;
    return kExitOk;
}

int GrabInBackground(const CliOptions& options, const DisplayInfo& display, const Picture* reference,
                     PhoneSession& session, CliIo& io) {
    PhoneLink& phone = session.Phone();
    if (int32_t result = phone.StartScreenRead(display); result != kPhoneOk) {
        return session.ReportFailure("starting the read", result);
    }
    ProgressBar bar(io.err, ShowsProgress(options, io), 2 * phone.Port().settings().GetTiming().readWait);
    int32_t received = WaitForRead(phone, display, bar);
    // The worker does not say whether its transfer succeeded; a short count means it did not.
    if (received < ExpectedCharacters(display)) {
        int64_t lineLength = display.lineLength == 0 ? 1 : display.lineLength;
        // The screen buffer's own reason where it has one; for a failed port its text and advice.
        const std::string why = DescribeJobFailure(phone, phone.GetReadFailure());
        return session.Report("the read ended after " + std::to_string(std::max(received, 0) / lineLength) +
                                  " of " + std::to_string(display.height) + " lines: " + why,
                              kExitFailed);
    }
    const DisplayBitmap* picture = nullptr;
    if (phone.GetReadImage(picture) != kPhoneOk || picture == nullptr) {
        return session.Report("the picture could not be made from the data received", kExitFailed);
    }
    if (int code = SaveAndReport(options, *picture, reference, session, io); code != kExitOk) {
        return code;
    }
    return options.regionChecksum ? PrintRegionChecksum(*options.regionChecksum, session, io) : kExitOk;
}

} // namespace

int64_t ExpectedCharacters(const DisplayInfo& display) {
    return static_cast<int64_t>(display.height) * display.lineLength;
}

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
    return GrabAtOnce(options, expected, session, io);
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
    int32_t checksum = 0;
    int32_t result = session.Phone().GetDisplayChecksum(*options.region, options.display, checksum);
    if (result != kPhoneOk) {
        return session.ReportFailure("checksum", result);
    }
    io.out << static_cast<uint32_t>(checksum) << "\n" << std::flush;
    return kExitOk;
}

} // namespace panelgrab::cli
