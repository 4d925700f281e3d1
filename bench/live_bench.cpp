// The live view against the simulated phone paced at a real line rate in a process of its own, run
// as a client runs it (the worker refreshing, the client woken by each refresh): what a refresh of a
// still screen costs and how busy it keeps the line, how long a clock change takes from the moment
// it is shown to the moment the client's picture shows it, and how many refreshes a wrong picture
// lasts after each change of the animations that are hard for checksums.
//
// The phone shows a picture file that it reads again whenever the file changes (--picture FILE
// --watch-picture), so the benchmark knows what the phone shows at every moment. Each figure is
// taken twice: "before", bands judged only by the phone's own earlier sums and changed rows fetched
// whole, back to back (the live view as it was); "after", the default options.
//
// Usage: panelgrab-bench-live [--baud N]... [--changes N] [--still-seconds S] [--after-only]
//                             [--phonesim PATH]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/phone_process.h"
#include "capture/display_bitmap.h"
#include "common/image/picture_file_writer.h"
#include "phone/phone_link.h"
#include "sim/bitmap_font.h"
#include "sim/picture_source.h"
#include "sim/screen_animation.h"
#include "sim/simulated_phone.h"

namespace {

namespace fs = std::filesystem;
namespace sim = panelgrab::sim;
using namespace panelgrab;
using Clock = std::chrono::steady_clock;
using panelgrab::bench::PhoneProcess;

constexpr int kWidth = 176;
constexpr int kHeight = 220;
// How many refreshes a picture may stay wrong before the benchmark stops waiting for it.
constexpr int kGiveUpRefreshes = 40;

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the phone shows: the simulated phone's test card with a status bar on top whose clock (a
// 40 x 8 box at the top right, over a colour gradient) is redrawn for every change, and the
// simulated phone's hard animations (flat digits, highlight, rows, pixels, block) at some step.
class Scene {
public:
    explicit Scene(std::string path) : path_(std::move(path)) {
        sim::SimOptions card;
        card_ = sim::ExpectedPicture(card, 0);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                Bar(card_, x, y);
            }
        }
    }

    // The status bar's clock shows `seconds`; the hard animations their step `hardStep` (none
    // when negative). Replaces the file; false when it cannot be written.
    bool Show(int seconds, int64_t hardStep = -1) {
        Picture image = card_;
        for (int y = 2; y <= 9; ++y) {
            for (int x = kWidth - 44; x <= kWidth - 5; ++x) {
                Bar(image, x, y);
            }
        }
        char text[8];
        std::snprintf(text, sizeof text, "%02d:%02d", seconds / 60 % 100, seconds % 60);
        int left = kWidth - 40;
        for (const char* c = text; *c != '\0'; ++c, left += sim::kGlyphWidth + 2) {
            const auto rows = sim::GlyphRows(*c);
            for (int row = 0; row < sim::kGlyphHeight; ++row) {
                for (int col = 0; col < sim::kGlyphWidth; ++col) {
                    if ((rows[static_cast<std::size_t>(row)] >> (sim::kGlyphWidth - 1 - col) & 1) != 0) {
                        Put(image, left + col, 3 + row, 255, 255, 255);
                    }
                }
            }
        }
        if (hardStep >= 0) {
            sim::SimAnimation hard{
                .clock = true, .highlight = true, .rows = true, .pixels = true, .block = true};
            sim::DrawAnimationStep(image, hard, hardStep);
        }
        // The file is written aside and renamed over: the phone never sees half a picture.
        std::string error;
        if (!WritePictureFile(image, PictureFileFormat::Bmp, path_, error)) {
            return false;
        }
        sim::SimOptions options;
        options.picturePath = path_;
        shown_ = sim::ExpectedPicture(options, 0); // reduced to what the display's pixels carry
        return true;
    }

    const Picture& Shown() const { return shown_; }

private:
    // The bar's colour changes from pixel to pixel in what 16 bits carry (green in steps of 4).
    static void Bar(Picture& image, int x, int y) {
        Put(image, x, y, static_cast<uint8_t>(40 + 8 * y), static_cast<uint8_t>(4 * x),
            static_cast<uint8_t>(160 - 4 * y));
    }
    static void Put(Picture& image, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        image.Set(x, y, {r, g, b});
    }

    std::string path_;
    Picture card_;
    Picture shown_;
};

bool Exact(const DisplayBitmap* picture, const Picture& shown) {
    return picture != nullptr && picture->ToPicture() == shown;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Max(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

struct Result {
    double fullReadMs = 0;       // the live view's opening read
    std::vector<double> stillMs; // refreshes of a still screen
    double stillLinePercent = 0; // bytes received while still over what the line carries
    int32_t stillRequests = 0;   // checksum requests of a still refresh
    std::vector<double> clockMs; // a clock change shown .. the client's picture shows it
    int64_t clockBytes = 0;      // bytes the slowest clock change cost
    int worstRefreshes = 0;      // refreshes a wrong picture lasted, worst over the hard animations
    double worstStaleMs = 0;     // and in time
    double cpuPercent = 0;       // the client's CPU over the wall time during the changes
};

// A live view through the phone object, its client woken by each refresh and by what a refresh
// fetched before it ended.
class Client {
public:
    explicit Client(PhoneLink& phone) : phone_(phone) {}

    // Waits for the next wake (at most `limitSeconds`): the refreshes ended meanwhile are appended
    // to `seen`, and the picture is brought up to date. False when nothing came.
    bool Next(std::vector<LiveRefreshStats>& seen, double limitSeconds) {
        const auto deadline = Clock::now() + std::chrono::duration<double>(limitSeconds);
        while (Clock::now() < deadline && phone_.IsLiveViewRunning()) {
            if (!phone_.WaitForLiveRefresh(50)) {
                continue;
            }
            std::vector<RowSpan> changed;
            phone_.GetLiveImage(picture_, changed);
            std::vector<LiveRefreshStats> finished;
            phone_.TakeLiveRefreshes(finished);
            seen.insert(seen.end(), finished.begin(), finished.end());
            return true;
        }
        return false;
    }
    const DisplayBitmap* picture() const { return picture_; }

private:
    PhoneLink& phone_;
    const DisplayBitmap* picture_ = nullptr;
};

// Refreshes that started after `shown` until the picture equals what the scene shows, the one that
// did it counted (kGiveUpRefreshes + 1: never), and the time; the bytes the refreshes that ended
// meanwhile received. `liveStart`: when the live view started, which its refreshes count from.
int RefreshesUntilExact(Client& client, const Scene& scene, Clock::time_point liveStart,
                        Clock::time_point shown, double& ms, int64_t& bytes) {
    std::vector<LiveRefreshStats> seen;
    bytes = 0;
    const double shownAtMs = std::chrono::duration<double, std::milli>(shown - liveStart).count();
    const auto startedAfter = [&](const LiveRefreshStats& stats) {
        return static_cast<double>(stats.endedAtMs) - static_cast<double>(stats.microseconds) / 1000.0 >=
               shownAtMs;
    };
    for (std::size_t before = 0; static_cast<int>(seen.size()) <= kGiveUpRefreshes && client.Next(seen, 30);
         before = seen.size()) {
        if (Exact(client.picture(), scene.Shown())) {
            ms = 1000 * SecondsSince(shown);
            for (const LiveRefreshStats& stats : seen) {
                bytes += stats.bytesReceived;
            }
            // Woken before the end of the refresh that fetched it, that refresh counts too.
            const auto started = std::count_if(seen.begin(), seen.end(), startedAfter);
            return static_cast<int>(started) + (seen.size() == before ? 1 : 0);
        }
    }
    ms = 1000 * SecondsSince(shown);
    return kGiveUpRefreshes + 1;
}

bool Measure(const std::string& device, int baud, Scene& scene, const LiveViewOptions& options, int changes,
             double stillSeconds, Result& r) {
    ConnectionSettings settings(device, baud);
    settings.SetTiming(PortTiming{});
    auto phone = CreatePhone(settings);
    DisplayList displays;
    if (phone->Open(false) != kPhoneOk || phone->GetDisplayList(displays) != kPhoneOk || displays.empty()) {
        std::cerr << "open failed\n";
        return false;
    }
    if (!scene.Show(600)) {
        return false;
    }
    const Clock::time_point liveStart = Clock::now();
    if (phone->StartLiveView(displays[0], options) != kPhoneOk) {
        std::cerr << "no live view\n";
        return false;
    }
    Client client(*phone);
    std::vector<LiveRefreshStats> seen;
    while (seen.empty() && client.Next(seen, 120)) {
    }
    if (seen.empty() || !seen.front().fullRead) {
        std::cerr << "no opening read\n";
        return false;
    }
    r.fullReadMs = static_cast<double>(seen.front().microseconds) / 1000.0;

    // A still screen: the refreshes' own time, and the line's load over the whole period.
    seen.clear();
    const auto stillStart = Clock::now();
    while (SecondsSince(stillStart) < stillSeconds && client.Next(seen, 10)) {
    }
    int64_t stillBytes = 0;
    for (const LiveRefreshStats& stats : seen) {
        r.stillMs.push_back(static_cast<double>(stats.microseconds) / 1000.0);
        stillBytes += stats.bytesReceived;
        r.stillRequests = std::max(r.stillRequests, stats.checksumRequests);
    }
    r.stillLinePercent = 100.0 * static_cast<double>(stillBytes) / (SecondsSince(stillStart) * baud / 10.0);

    // Clock changes at moments unrelated to the refreshes.
    std::mt19937 random(static_cast<unsigned>(baud));
    std::uniform_int_distribution<int> pauseMs(100, 700);
    const double cpuBefore = CpuSeconds();
    double sceneCpu = 0; // drawing and writing the phone's picture file is not the client's work
    const auto changesStart = Clock::now();
    for (int i = 1; i <= changes; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
        const double before = CpuSeconds();
        if (!scene.Show(600 + i)) {
            return false;
        }
        sceneCpu += CpuSeconds() - before;
        const auto shown = Clock::now();
        double ms = 0;
        int64_t bytes = 0;
        RefreshesUntilExact(client, scene, liveStart, shown, ms, bytes);
        if (ms > Max(r.clockMs)) {
            r.clockBytes = bytes;
        }
        r.clockMs.push_back(ms);
    }
    r.cpuPercent = 100.0 * (CpuSeconds() - cpuBefore - sceneCpu) / SecondsSince(changesStart);

    // The hard animations, step by step.
    for (int64_t step = 0; step < 12; ++step) {
        if (!scene.Show(600, step)) {
            return false;
        }
        double ms = 0;
        int64_t bytes = 0;
        const int refreshes = RefreshesUntilExact(client, scene, liveStart, Clock::now(), ms, bytes);
        r.worstRefreshes = std::max(r.worstRefreshes, refreshes);
        r.worstStaleMs = std::max(r.worstStaleMs, ms);
    }
    phone->StopLiveView();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> bauds;
    int changes = 8;
    double stillSeconds = 5;
    bool afterOnly = false;
    std::string phonesim = PhoneProcess::DefaultProgram(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--baud" && i + 1 < argc) {
            bauds.push_back(std::atoi(argv[++i]));
        } else if (arg == "--changes" && i + 1 < argc) {
            changes = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--still-seconds" && i + 1 < argc) {
            stillSeconds = std::max(1.0, std::atof(argv[++i]));
        } else if (arg == "--after-only") {
            afterOnly = true;
        } else if (arg == "--phonesim" && i + 1 < argc) {
            phonesim = argv[++i];
        } else {
            std::cerr << "Usage: panelgrab-bench-live [--baud N]... [--changes N] [--still-seconds S] "
                         "[--after-only] [--phonesim PATH]\n";
            return 2;
        }
    }
    if (bauds.empty()) {
        bauds = {115200, 921600};
    }
    const fs::path folder = fs::temp_directory_path() / ("panelgrab-bench-live-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::printf("%7s %6s | %8s | %8s %5s %6s | %8s %8s %6s | %6s %8s | %5s\n", "baud", "mode", "full_ms",
                "still_ms", "sums", "line%", "clock_ms", "clk_max", "bytes", "stale", "stale_ms", "cpu%");
    bool allShown = true;
    for (const int baud : bauds) {
        // No periodic full read: the staleness measured is what the sums leave.
        LiveViewOptions after;
        after.fullReadEveryMs = 0;
        LiveViewOptions before = after;
        before.compareWithPicture = false;
        before.stillLinePercent = 100;
        before.refreshIntervalMs = 100;
        for (const auto& [mode, options] : {std::pair{"before", before}, std::pair{"after", after}}) {
            if (afterOnly && std::string(mode) == "before") {
                continue;
            }
            const fs::path file = folder / ("screen-" + std::to_string(baud) + ".bmp");
            Scene scene(file.string());
            PhoneProcess phone;
            Result r;
            if (!scene.Show(600) ||
                !phone.Start(phonesim, {"--baud=" + std::to_string(baud), "--picture=" + file.string(),
                                        "--watch-picture"}) ||
                !Measure(phone.device(), baud, scene, options, changes, stillSeconds, r)) {
                std::cerr << "the benchmark failed at " << baud << " baud\n";
                fs::remove_all(folder);
                return 1;
            }
            allShown = allShown && (std::string(mode) == "before" || r.worstRefreshes <= kGiveUpRefreshes);
            std::printf("%7d %6s | %8.0f | %8.1f %5d %5.0f%% | %8.0f %8.0f %6lld | %6s %8.0f | %5.2f\n", baud,
                        mode, r.fullReadMs, Median(r.stillMs), r.stillRequests, r.stillLinePercent,
                        Median(r.clockMs), Max(r.clockMs), static_cast<long long>(r.clockBytes),
                        r.worstRefreshes > kGiveUpRefreshes ? "never"
                                                            : std::to_string(r.worstRefreshes).c_str(),
                        r.worstStaleMs, r.cpuPercent);
            std::fflush(stdout);
        }
    }
    fs::remove_all(folder);
    std::printf(
        "clock: a 40x8 clock change shown .. the client's picture equal to it (median, slowest of %d); "
        "stale: refreshes a wrong picture lasted after a change of the hard animations, worst of 12 "
        "(never: more than %d)\n",
        changes, kGiveUpRefreshes);
    return allShown ? 0 : 1;
}
