#include "lab_server_fixture.h"
#include "server/live_session.h"

#include <tuple>

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;

// Applies the viewer's row messages until it shows `expected`; false when it did not in time.
bool ReadUntilShown(LiveClient& viewer, ViewerScreen& screen, const Picture& expected) {
    return viewer
        .NextWhere(
            [&](const LiveClient::Message& m) {
                if (m.binary && m.data.size() >= 12) { // a row message
                    screen.Apply(m.data);
                }
                return screen.shown == expected;
            },
            10s)
        .has_value();
}

TEST_F(LabServerTest, LiveViewSendsHelloTheWholePictureThenOnlyChangedRowsAndLocks) {
    StartServer();
    LiveClient viewer;
    ASSERT_TRUE(viewer.Connect(port_, "/api/phones/a/live"));
    const std::optional<LiveClient::Message> hello = viewer.Next(5s);
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->Json(),
              nlohmann::json::parse(R"({"type": "hello", "name": "a", "state": "ready", "reason": "",
        "model": "P200", "lock": {"held": false, "expires_s": 0}})"));

    ViewerScreen screen;
    ASSERT_TRUE(ReadUntilShown(viewer, screen, Decoded(phoneA_)));
    const RowHeader& first = screen.applied.front();
    EXPECT_EQ(std::tie(first.kind, first.width, first.height), std::make_tuple(1, 176, 220));

    // A band of rows changes: only rows near it travel.
    Picture changed = Decoded(phoneA_);
    for (int y = 100; y < 110; ++y) {
        std::fill_n(changed.Row(y), 176 * 3, uint8_t{0x80});
    }
    ASSERT_TRUE(phoneA_.ShowPicture(0, changed));
    screen.applied.clear();
    ASSERT_TRUE(ReadUntilShown(viewer, screen, Decoded(phoneA_)));
    EXPECT_TRUE(
        std::ranges::all_of(screen.applied, [](const RowHeader& header) { return header.count < 220; }));

    // A lock taken reaches the viewers.
    ASSERT_EQ(Call(port_, http::verb::post, "/api/phones/a/lock", "{}").status, 200);
    const auto lock =
        viewer.NextWhere([](const auto& m) { return !m.binary && m.Json()["type"] == "lock"; }, 5s);
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->Json()["held"], true);
    EXPECT_GT(lock->Json()["expires_s"], 0);
}

// A listener for key events only ("?rows=0") gets them without pictures and keeps no live view busy.
TEST_F(LabServerTest, KeysPressedThroughTheApiComeBackAsKeyEvents) {
    StartServer();
    LiveClient listener;
    ASSERT_TRUE(listener.Connect(port_, "/api/phones/b/live?rows=0"));
    ASSERT_TRUE(listener.Next(5s)); // hello
    EXPECT_EQ(Call(port_, http::verb::get, "/api/phones").Json()[1]["watchers"], 0);
    ASSERT_EQ(Call(port_, http::verb::post, "/api/phones/b/keys", R"({"keys":"5"})").status, 200);
    bool sawRows = false;
    auto isKey = [&](bool pressed) {
        return [&sawRows, pressed](const LiveClient::Message& m) {
            sawRows = sawRows || m.binary;
            return !m.binary && m.Json()["type"] == "key" && m.Json()["key"] == "5" &&
                   m.Json()["pressed"] == pressed;
        };
    };
    EXPECT_TRUE(listener.NextWhere(isKey(true), 5s));
    EXPECT_TRUE(listener.NextWhere(isKey(false), 5s));
    EXPECT_FALSE(sawRows);
}

// One viewer reads nothing at all while the picture changes again and again: the other sees every
// change, and the stalled one, once it reads, arrives at the newest picture.
TEST_F(LabServerTest, AStalledViewerHoldsUpNobodyAndGetsTheNewestPicture) {
    StartServer();
    LiveClient stalled;
    ASSERT_TRUE(stalled.Connect(port_, "/api/phones/a/live"));
    LiveClient viewer;
    ASSERT_TRUE(viewer.Connect(port_, "/api/phones/a/live"));
    ViewerScreen screen;
    ASSERT_TRUE(ReadUntilShown(viewer, screen, Decoded(phoneA_)));
    for (int step = 1; step <= 20; ++step) {
        ASSERT_TRUE(phoneA_.ShowPicture(0, Filled(step * 10, 255 - step * 10, step)));
        ASSERT_TRUE(ReadUntilShown(viewer, screen, Decoded(phoneA_))) << "step " << step;
    }
    ViewerScreen late;
    EXPECT_TRUE(ReadUntilShown(stalled, late, Decoded(phoneA_)));
}

} // namespace
} // namespace panelgrab::test
