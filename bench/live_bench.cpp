// The live view against the simulated phone paced at a real line rate in a process of its own:
// how much faster a refresh is than a full read, for an unchanged screen and after a clock-sized
// change; whether the picture is exact after every refresh; the client's CPU while watching.
//
// The phone shows a picture file that it reads again whenever the file changes (--picture FILE
// --watch-picture), so the benchmark knows what the phone shows at every moment: it draws the next
// time into the clock (a 40 x 8 box in the top-right corner), replaces the file, and compares the
// live picture with the file's picture as the display's format carries it.
//
// Usage: panelgrab-bench-live [--baud N]... [--changes N] [--watch-seconds S] [--phonesim PATH]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "background/live_view_task.h"
#include "bench/phone_process.h"
#include "capture/display_bitmap.h"
#include "capture/screen_image.h"
#include "common/image/picture_file_writer.h"
#include "phone/phone_link.h"
#include "sim/bitmap_font.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "transport/serial_port.h"

namespace {

namespace fs = std::filesystem;
namespace sim = panelgrab::sim;
using namespace panelgrab;
using Clock = std::chrono::steady_clock;
using panelgrab::bench::PhoneProcess;

constexpr int kWidth = 176;
constexpr int kHeight = 220;

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the phone shows: the simulated phone's test card with a status bar on top, whose clock is
// redrawn for every change. The bar is a gradient, as on many phones; on a flat bar, a digit that
// lights as many pixels of a row as the one before keeps the row's sum (see docs/LIVE-VIEW.md).
class Scene {
public:
    explicit Scene(std::string path) : path_(std::move(path)) {
        sim::SimOptions card;
        image_ = sim::ExpectedPicture(card, 0);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                Bar(x, y);
            }
        }
    }

    // Draws MM:SS for `seconds` into the clock's 40 x 8 box, (W-44,2)-(W-5,9), and replaces the file.
    bool Show(int seconds) {
        for (int y = 2; y <= 9; ++y) {
            for (int x = kWidth - 44; x <= kWidth - 5; ++x) {
                Bar(x, y);
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
                        Put(left + col, 3 + row, 255, 255, 255);
                    }
                }
            }
        }
        // The file is written aside and renamed over: the phone never sees half a picture.
        std::string error;
        return WritePictureFile(image_, PictureFileFormat::Bmp, path_, error);
    }

    // The picture as the phone shows it: reduced to what its display's pixels carry.
    Picture Shown() const {
        sim::SimOptions options;
        options.picturePath = path_;
        return sim::ExpectedPicture(options, 0);
    }

private:
    // The bar's colour changes from pixel to pixel in what 16 bits carry (green in steps of 4), so
    // that a digit lighting other pixels changes the row's sum even when it lights as many.
    void Bar(int x, int y) {
        Put(x, y, static_cast<uint8_t>(40 + 8 * y), static_cast<uint8_t>(4 * x),
            static_cast<uint8_t>(160 - 4 * y));
    }
    void Put(int x, int y, uint8_t r, uint8_t g, uint8_t b) { image_.Set(x, y, {r, g, b}); }

    std::string path_;
    Picture image_;
};

bool Exact(const DisplayBitmap* picture, const Picture& shown) {
    return picture != nullptr && picture->ToPicture() == shown;
}

struct Series {
    std::vector<double> ms;
    std::vector<int64_t> bytes;
    std::vector<int32_t> lines;
    std::vector<int32_t> sums;
    bool exact = true;

    void Add(const LiveRefreshStats& stats, bool right) {
        ms.push_back(static_cast<double>(stats.microseconds) / 1000.0);
        bytes.push_back(stats.bytesReceived);
        lines.push_back(stats.linesFetched);
        sums.push_back(stats.checksumRequests);
        exact = exact && right;
    }
    double Median() const {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    }
    double Max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
    template <typename T> static T MaxOf(const std::vector<T>& v) {
        return v.empty() ? T{} : *std::max_element(v.begin(), v.end());
    }
};

struct Result {
    double fullReadMs = 0; // ReadDisplay: the bulk read a grab makes
    bool fullReadExact = false;
    LiveRefreshStats opening; // the live view's own full read, line by line with the sums
    bool openingExact = false;
    Series unchanged;
    Series clock;
    double watchSeconds = 0;
    double watchCpuSeconds = 0;
    int64_t watchRefreshes = 0;
    bool watchExact = false;
};

ConnectionSettings NormalSettings(const std::string& device, int baud) {
    ConnectionSettings settings(device, baud);
    settings.SetTiming(PortTiming{});
    return settings;
}

bool MeasureFullRead(const std::string& device, int baud, const Scene& scene, Result& result) {
    auto phone = CreatePhone(NormalSettings(device, baud));
    if (phone->Open(false) != kPhoneOk) {
        std::cerr << "open failed: " << phone->Port().errorText() << "\n";
        return false;
    }
    DisplayBitmap picture;
    const auto start = Clock::now();
    if (phone->ReadDisplay(picture, 0) != kPhoneOk) {
        std::cerr << "full read failed\n";
        return false;
    }
    result.fullReadMs = 1000 * SecondsSince(start);
    result.fullReadExact = Exact(&picture, scene.Shown());
    return true;
}

// Refreshes one at a time (LiveViewTask::Run), so that each can be compared with what was shown.
bool MeasureRefreshes(const std::string& device, int baud, Scene& scene, int changes, Result& result) {
    SerialPort port(NormalSettings(device, baud));
    if (!port.Open(false)) {
        std::cerr << "open failed: " << port.errorText() << "\n";
        return false;
    }
    DisplayList displays;
    ScreenImage lister;
    if (!lister.QueryDisplayList(port, displays) || displays.empty()) {
        std::cerr << "no display list\n";
        return false;
    }
    LiveViewTask task(displays[0], LiveViewOptions{}, port);
    std::vector<RowSpan> changed;
    const auto step = [&](Series* series) {
        if (task.Run() != Ok) {
            std::cerr << "refresh failed: " << task.FailureText() << "\n";
            return false;
        }
        std::vector<LiveRefreshStats> finished;
        task.TakeRefreshes(finished);
        const bool right = Exact(task.GetPicture(changed), scene.Shown());
        if (series != nullptr) {
            series->Add(finished.back(), right);
        } else {
            result.opening = finished.back();
            result.openingExact = right;
        }
        return true;
    };
    if (!step(nullptr)) {
        return false;
    }
    for (int i = 0; i < changes; ++i) {
        if (!step(&result.unchanged)) {
            return false;
        }
    }
    for (int i = 1; i <= changes; ++i) {
        if (!scene.Show(600 + i) || !step(&result.clock)) {
            return false;
        }
    }
    return true;
}

// Watching as a client does: the worker refreshes (default options), the client takes the
// refreshes and the changed rows every 50 ms, the clock ticks every second.
bool MeasureWatching(const std::string& device, int baud, Scene& scene, double seconds, Result& result) {
    auto phone = CreatePhone(NormalSettings(device, baud));
    DisplayList displays;
    if (phone->Open(false) != kPhoneOk || phone->GetDisplayList(displays) != kPhoneOk || displays.empty()) {
        std::cerr << "open failed\n";
        return false;
    }
    if (phone->StartLiveView(displays[0], LiveViewOptions{}) != kPhoneOk) {
        std::cerr << "no live view\n";
        return false;
    }
    std::vector<LiveRefreshStats> finished;
    const DisplayBitmap* picture = nullptr;
    std::vector<RowSpan> changed;
    while (finished.empty() && phone->IsLiveViewRunning()) { // the opening full read
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        phone->TakeLiveRefreshes(finished);
        phone->GetLiveImage(picture, changed);
    }
    const double cpuBefore = CpuSeconds();
    double sceneCpu = 0; // drawing and writing the phone's picture is not the client's work
    const auto start = Clock::now();
    int tick = 0;
    while (SecondsSince(start) < seconds && phone->IsLiveViewRunning()) {
        if (SecondsSince(start) >= tick) {
            const double before = CpuSeconds();
            scene.Show(1200 + tick++);
            sceneCpu += CpuSeconds() - before;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        phone->TakeLiveRefreshes(finished);
        result.watchRefreshes += static_cast<int64_t>(finished.size());
        phone->GetLiveImage(picture, changed);
    }
    result.watchSeconds = SecondsSince(start);
    result.watchCpuSeconds = CpuSeconds() - cpuBefore - sceneCpu;
    // Once the clock stands still, a refresh that starts afterwards must bring the last time (and
    // one more, should a change have come during the one before).
    for (int64_t after = 0; after < 3 && phone->IsLiveViewRunning();) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        phone->TakeLiveRefreshes(finished);
        after += static_cast<int64_t>(finished.size());
    }
    phone->StopLiveView();
    phone->GetLiveImage(picture, changed);
    result.watchExact = Exact(picture, scene.Shown());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> bauds;
    int changes = 5;
    double watchSeconds = 10;
    std::string phonesim = PhoneProcess::DefaultProgram(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--baud" && i + 1 < argc) {
            bauds.push_back(std::atoi(argv[++i]));
        } else if (arg == "--changes" && i + 1 < argc) {
            changes = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--watch-seconds" && i + 1 < argc) {
            watchSeconds = std::max(1.0, std::atof(argv[++i]));
        } else if (arg == "--phonesim" && i + 1 < argc) {
            phonesim = argv[++i];
        } else {
            std::cerr << "Usage: panelgrab-bench-live [--baud N]... [--changes N] [--watch-seconds S] "
                         "[--phonesim PATH]\n";
            return 2;
        }
    }
    if (bauds.empty()) {
        bauds = {115200, 921600};
    }
    const fs::path folder = fs::temp_directory_path() / ("panelgrab-bench-live-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::printf("%7s %9s %9s | %9s %9s %6s %7s | %9s %9s %6s %6s %7s | %8s %8s | %6s %7s\n", "baud",
                "full_ms", "live_full", "same_ms", "same_max", "bytes", "ratio", "clock_ms", "clock_max",
                "lines", "bytes", "ratio", "refr/s", "cpu/wall", "exact", "watched");
    bool allExact = true;
    for (const int baud : bauds) {
        Scene scene((folder / ("screen-" + std::to_string(baud) + ".bmp")).string());
        PhoneProcess phone;
        Result r;
        if (!scene.Show(600) ||
            !phone.Start(phonesim,
                         {"--baud=" + std::to_string(baud),
                          "--picture=" + (folder / ("screen-" + std::to_string(baud) + ".bmp")).string(),
                          "--watch-picture"}) ||
            !MeasureFullRead(phone.device(), baud, scene, r) ||
            !MeasureRefreshes(phone.device(), baud, scene, changes, r) ||
            !MeasureWatching(phone.device(), baud, scene, watchSeconds, r)) {
            std::cerr << "the benchmark failed at " << baud << " baud\n";
            fs::remove_all(folder);
            return 1;
        }
        const bool exact =
            r.fullReadExact && r.openingExact && r.unchanged.exact && r.clock.exact && r.watchExact;
        allExact = allExact && exact;
        if (!exact) {
            std::fprintf(stderr, "not exact: full read %d, opening %d, unchanged %d, clock %d, watching %d\n",
                         r.fullReadExact, r.openingExact, r.unchanged.exact, r.clock.exact, r.watchExact);
        }
        std::printf(
            "%7d %9.0f %9.0f | %9.1f %9.1f %6lld %7.0f | %9.1f %9.1f %6d %6lld %7.1f | %8.1f %7.2f%% | %6s "
            "%7.1f\n",
            baud, r.fullReadMs, static_cast<double>(r.opening.microseconds) / 1000.0, r.unchanged.Median(),
            r.unchanged.Max(), static_cast<long long>(Series::MaxOf(r.unchanged.bytes)),
            r.fullReadMs / r.unchanged.Max(), r.clock.Median(), r.clock.Max(), Series::MaxOf(r.clock.lines),
            static_cast<long long>(Series::MaxOf(r.clock.bytes)), r.fullReadMs / r.clock.Max(),
            static_cast<double>(r.watchRefreshes) / r.watchSeconds,
            100.0 * r.watchCpuSeconds / r.watchSeconds, exact ? "yes" : "NO", r.watchSeconds);
        std::fflush(stdout);
    }
    fs::remove_all(folder);
    std::printf("ratio: the full read's time over the slowest refresh of the kind (%d of each); exact: every "
                "picture equalled the phone's\n",
                changes);
    return allExact ? 0 : 1;
}
