// The live view against the simulated phone through a pseudo-terminal: refreshed step by step with
// Run() where a test must know what the phone showed, and through the phone object's worker where
// threads and endings matter.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "background/crossed_bands.h"
#include "background/live_view_task.h"
#include "capture/screen_image.h"
#include "integration/fault_harness.h"
#include "sim/screen_animation.h"
#include "sim/simulated_phone.h"
#include "support/pty_peer.h"
#include "support/sim_phone_fixture.h"
#include "transport/at/serial_port.h"

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;

// A simulated phone and a live view on a port of its own, refreshed one Run() at a time, so that a
// test can bracket each refresh with what the phone shows.
struct SteppedLiveView {
    explicit SteppedLiveView(sim::SimOptions options, LiveViewOptions liveOptions = {})
        : phone(options), live(liveOptions) {}

    ::testing::AssertionResult Connect(std::size_t index = 0) {
        std::string error;
        if (!phone.Start(error)) {
            return ::testing::AssertionFailure() << "simulator: " << error;
        }
        port = std::make_unique<SerialPort>(FastSettings(phone.DevicePath()));
        if (!port->Open(false)) {
            return ::testing::AssertionFailure() << "open: " << port->errorText();
        }
        ScreenImage lister;
        if (!lister.QueryDisplayList(*port, displays) || index >= displays.size()) {
            return ::testing::AssertionFailure() << "no display " << index;
        }
        shown = index;
        task = std::make_unique<LiveViewTask>(displays[index], live, *port);
        return ::testing::AssertionSuccess();
    }

    // One refresh; its stats.
    LiveRefreshStats Step() {
        EXPECT_EQ(task->Run(), Ok) << task->FailureText();
        std::vector<LiveRefreshStats> finished;
        task->TakeRefreshes(finished);
        EXPECT_EQ(finished.size(), 1u);
        return finished.empty() ? LiveRefreshStats{} : finished.back();
    }

    // Pixels where the job's picture differs from what the phone shows now; -1 without a picture.
    int Differing() {
        std::vector<RowSpan> changed;
        const DisplayBitmap* picture = task->GetPicture(changed);
        Picture now;
        uint64_t version = 0;
        if (picture == nullptr || !phone.CurrentPicture(shown, now, version)) {
            return -1;
        }
        return DifferingPixels(*picture, now, now.height());
    }

    // What the phone shows now, with a box of distinct colours drawn over it.
    Picture ShownWithBox(int left, int top, int right, int bottom, uint8_t seed) {
        Picture picture;
        uint64_t ignored = 0;
        phone.CurrentPicture(shown, picture, ignored);
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) {
                uint8_t* p = picture.Row(y) + 3 * x;
                p[0] = static_cast<uint8_t>(seed + 37 * x);
                p[1] = static_cast<uint8_t>(seed * 3 + 11 * y);
                p[2] = static_cast<uint8_t>(x * y + seed);
            }
        }
        return picture;
    }

    const DisplayInfo& display() const { return displays[shown]; }

    sim::SimulatedPhone phone;
    LiveViewOptions live;
    std::size_t shown = 0; // the display the live view shows
    DisplayList displays;
    std::unique_ptr<SerialPort> port;
    std::unique_ptr<LiveViewTask> task; // freed before the port, the port before the phone
};

TEST(LiveView, EachDialectRefreshesOnlyWhatChangedAndASecondDisplayWhole) {
    const std::pair<sim::Dialect, std::size_t> cases[] = {{sim::Dialect::Long, 0},
                                                          {sim::Dialect::Short, 0},
                                                          {sim::Dialect::PerLine, 0},
                                                          {sim::Dialect::TwoDisplays, 1}};
    for (const auto& [dialect, display] : cases) {
        SCOPED_TRACE(static_cast<int>(dialect));
        sim::SimOptions options;
        options.dialect = dialect;
        SteppedLiveView live(options);
        ASSERT_TRUE(live.Connect(display));
        const int height = live.display().height;
        const int width = live.display().width;
        // AT*ZIPI serves the first display only: another display's one band is its whole picture.
        const int band = display == 0 ? 8 : height;
        const BandChecksums sums(height, band, display == 0 ? 1 : height);
        const CrossedBands crossed(width, height, 8, 8);

        const LiveRefreshStats opening = live.Step();
        EXPECT_EQ(std::tie(opening.number, opening.fullRead, opening.linesFetched, opening.checksumRequests),
                  std::tuple(1, true, height, static_cast<int32_t>(sums.readAllRequests())));
        EXPECT_EQ(live.Differing(), 0);

        // The phone sums as we do: the first display is judged against the picture's own sums.
        EXPECT_EQ(live.task->ComparesWithPicture(), display == 0);

        const LiveRefreshStats unchanged = live.Step();
        EXPECT_EQ(std::tie(unchanged.fullRead, unchanged.linesFetched), std::tuple(false, 0));
        if (display == 0) {
            EXPECT_LE(unchanged.checksumRequests, crossed.stillRequests());
        } else {
            EXPECT_EQ(unchanged.checksumRequests, static_cast<int32_t>(sums.bands()));
        }
        EXPECT_GT(unchanged.bytesReceived, 0);
        EXPECT_LT(unchanged.bytesReceived, opening.bytesReceived / 25);

        // A clock-sized change, 40 x 8 pixels in the top-right corner: its rows over the strips
        // (8 columns) it touches, on the first display.
        ASSERT_TRUE(live.phone.ShowPicture(display, live.ShownWithBox(width - 44, 3, width - 5, 10, 1)));
        const LiveRefreshStats clock = live.Step();
        EXPECT_EQ(clock.linesFetched, band);
        EXPECT_LE(clock.pixelsFetched, display == 0 ? 8 * 48 : height * width);
        EXPECT_EQ(live.Differing(), 0);
        EXPECT_EQ(live.Step().linesFetched, 0);
    }
}

// A phone that gives checksums when asked whether it does, then refuses one in a refresh: that
// refresh becomes a full read, and so does every later one.
TEST(LiveView, ARefusedChecksumRequestTurnsTheRefreshIntoAFullRead) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    const std::string list = "\r\n*ZISI: 2, 2, 16\r\n\r\nOK\r\n"; // long form: 8 characters a pixel
    const auto line = [](const char* pixels) {
        return std::string("\r\n*ZIPI: ") + pixels + "\r\n\r\nOK\r\n";
    };
    peer.Respond("AT\r\r\nOK\r\n");           // the open's probe
    peer.Respond(list).Respond("\r\nOK\r\n"); // choosing the display
    const std::string sum = "\r\n*ZAPC: \"0000002A\"\r\n\r\nOK\r\n";
    peer.Respond(sum);                                                        // the one band
    peer.Respond(line("00FF000000FF0000")).Respond(line("0000FF000000FF00")); // the opening lines
    peer.Respond(sum).Respond(sum).Respond(sum);                              // its rows, itself again
    peer.Expect().AnswerError(); // a refusal is an answer: asked once
    peer.Respond(line("0000000000FFFFFF")).Respond(line("00FFFFFF00000000"));
    peer.Respond(line("0000000000FFFFFF")).Respond(line("00FFFFFF00000000")); // no more sums asked
    peer.Start();
    SerialPort port(FastSettings(peer.SlavePath()));
    ASSERT_TRUE(port.Open(false)) << port.errorText();
    LiveViewTask task(DisplayInfo(2, 2, 16, 16, 0), LiveViewOptions{}, port);
    for (int refresh = 0; refresh < 3; ++refresh) {
        ASSERT_EQ(task.Run(), Ok) << task.FailureText() << testing::PrintToString(peer.Commands());
    }
    std::vector<LiveRefreshStats> refreshes;
    task.TakeRefreshes(refreshes);
    // Each refresh's notice, whether it read every line, its lines and its checksum requests.
    std::vector<std::tuple<std::string, bool, int32_t, int32_t>> seen;
    for (const LiveRefreshStats& r : refreshes) {
        seen.emplace_back(r.notice, r.fullRead, r.linesFetched, r.checksumRequests);
    }
    EXPECT_EQ(seen,
              (decltype(seen){
                  {"", true, 2, 4}, {LiveViewTask::kNoticeChecksumRefused, true, 2, 1}, {"", true, 2, 0}}));
    std::vector<RowSpan> changed;
    const DisplayBitmap* picture = task.GetPicture(changed);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(changed, (std::vector<RowSpan>{{0, 1}}));
    const uint8_t* row0 = picture->pixels();
    EXPECT_EQ(std::vector<uint8_t>(row0, row0 + 6), (std::vector<uint8_t>{0, 0, 0, 0xF8, 0xFC, 0xF8}));
    EXPECT_TRUE(peer.WaitUntilDone(2s));
}

// A full read corrects what a sum cannot see; it comes when asked and once the period has passed since
// the last one.
TEST(LiveView, AFullReadComesWhenAskedAndAfterThePeriodCountedFromTheLastOne) {
    LiveViewOptions options;
    options.fullReadEveryMs = 300;
    SteppedLiveView live(sim::SimOptions{}, options);
    ASSERT_TRUE(live.Connect());
    EXPECT_TRUE(live.Step().fullRead);

    // A 2 x 2 checkerboard flips: every row's and every column's sum stays as it was.
    const Picture card = live.ShownWithBox(0, 0, -1, -1, 0);
    sim::SimAnimation checker;
    checker.checker = true;
    for (const int64_t step : {0, 1}) {
        Picture frame = card;
        sim::DrawAnimationStep(frame, checker, step);
        ASSERT_TRUE(live.phone.ShowPicture(0, frame));
        live.Step();
    }
    EXPECT_EQ(live.Differing(), 4);
    const LiveRefreshStats blind = live.Step();
    EXPECT_EQ(std::tie(blind.fullRead, blind.linesFetched), std::tuple(false, 0));
    EXPECT_EQ(live.Differing(), 4) << "the known limit: no row or column sum sees the flip";

    live.task->RequestFullRead();
    const LiveRefreshStats asked = live.Step();
    EXPECT_EQ(std::tie(asked.fullRead, asked.linesFetched, asked.checksumRequests), std::tuple(true, 220, 0))
        << "the picture's own sums need no learning";
    EXPECT_EQ(live.Differing(), 0);
    EXPECT_FALSE(live.Step().fullRead) << "the period counts also from a full read asked for";
    std::this_thread::sleep_for(320ms);
    const LiveRefreshStats periodic = live.Step();
    EXPECT_EQ(std::tie(periodic.fullRead, periodic.linesFetched), std::tuple(true, 220));
    EXPECT_EQ(live.Differing(), 0);
    EXPECT_FALSE(live.Step().fullRead) << "the period counts from the end of the last full read";
}

// Through the phone object: each refresh reaches the client's handler as it ends, with the regions
// it fetched; a key press waits for the exchange in hand, never for the rest of a refresh; a picture
// read or a second open is refused until the live view stops, and then a new one may start. (That a
// picture's changed rows are handed out once is ChangedRows.MarksComeOutAsSpansOnce.)
TEST(LiveView, ThroughThePhoneObjectRefreshesArePushedAndAKeyPressGetsTheLineWithinOneRefresh) {
    sim::SimOptions simOptions;
    simOptions.animation.block = true;
    simOptions.animation.periodMs = 100;
    SimPhone sim(simOptions);
    ASSERT_TRUE(sim.Connect());
    PhoneLink& phone = *sim.phone;
    std::mutex lock;
    std::vector<LiveUpdate> updates;
    ASSERT_EQ(phone.SetLiveUpdateHandler([&](const LiveUpdate& update) {
        std::lock_guard guard(lock);
        updates.push_back(update);
    }),
              kPhoneOk);
    LiveViewOptions options;
    options.refreshIntervalMs = 0;
    options.stillLinePercent = 100; // back to back: the live view never leaves the line by itself
    options.bandRows = 0;
    EXPECT_EQ(phone.StartLiveView(sim.displays[0], options), kPhoneFailed);
    EXPECT_NE(phone.FailureText(), nullptr);
    options.bandRows = 8;
    ASSERT_EQ(phone.StartLiveView(sim.displays[0], options), kPhoneOk);
    EXPECT_TRUE(phone.WaitForLiveRefresh(10000));
    const auto moves = [&] {
        std::lock_guard guard(lock);
        return std::count_if(updates.begin(), updates.end(),
                             [](const LiveUpdate& u) { return !u.stats.fullRead && !u.regions.empty(); });
    };
    ASSERT_TRUE(WaitUntil([&] { return moves() >= 3; }, 10s));

    for (int i = 0; i < 10; ++i) {
        std::vector<LiveRefreshStats> ended;
        phone.TakeLiveRefreshes(ended);
        ASSERT_EQ(phone.PressKey("1"), kPhoneOk);
        phone.TakeLiveRefreshes(ended);
        EXPECT_LE(ended.size(), 1u) << "refreshes that ended while the key press waited for the line";
    }
    std::string model;
    EXPECT_EQ(phone.GetModel(model), kPhoneOk);
    const DisplayBitmap* picture = nullptr;
    std::vector<RowSpan> changed;
    ASSERT_EQ(phone.GetLiveImage(picture, changed), kPhoneOk);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(changed, (std::vector<RowSpan>{{0, 219}})) << "every row, the first time";
    // A grab or a second live view is refused: OpenSession.HandlesEndTheirJobInTheirDestructor.
    EXPECT_EQ(phone.StartScreenRead(sim.displays[0]), kPhoneFailed);
    EXPECT_EQ(phone.Open(false), kPhoneOpenFailed);
    EXPECT_EQ(phone.StopLiveView(), kPhoneOk);
    EXPECT_EQ(phone.SetLiveUpdateHandler(nullptr), kPhoneOk);
    EXPECT_FALSE(phone.IsLiveViewRunning());
    EXPECT_EQ(phone.GetLiveFailure(), "");
    EXPECT_EQ(phone.RequestLiveFullRead(), kPhoneFailed);
    DisplayBitmap read;
    EXPECT_EQ(phone.ReadDisplay(read, 0), kPhoneOk) << "the port is free again";
    ASSERT_EQ(phone.StartLiveView(sim.displays[0], options), kPhoneOk) << "and a new live view may start";
    EXPECT_EQ(phone.RequestLiveFullRead(), kPhoneOk);

    std::lock_guard guard(lock);
    ASSERT_FALSE(updates.empty());
    EXPECT_TRUE(updates[0].stats.fullRead);
    EXPECT_EQ(updates[0].regions, (std::vector<LiveRegion>{{0, 219, 0, 175}}));
    // The block's rows, within the bands around them (a move during a refresh may widen what the
    // refresh fetches to its bands), and mostly its columns only.
    const sim::ScreenBox block = sim::MovingBlockBox();
    int narrow = 0;
    for (std::size_t i = 1; i < updates.size(); ++i) {
        // What a refresh fetched before its strips were asked comes first, then its end.
        EXPECT_EQ(updates[i].stats.number, updates[i - 1].stats.number + (updates[i - 1].partial ? 0 : 1))
            << "each refresh, in order";
        EXPECT_FALSE(updates[i].partial && updates[i - 1].partial);
        for (const LiveRegion& region : updates[i].regions) {
            EXPECT_GE(region.firstRow, block.top - 8);
            EXPECT_LE(region.lastRow, block.bottom + 8);
            narrow += region.lastColumn - region.firstColumn <= block.right - block.left + 16 ? 1 : 0;
        }
    }
    EXPECT_GT(narrow, 0) << "the block's columns, to the pieces' edges";
}

} // namespace
} // namespace panelgrab::test
