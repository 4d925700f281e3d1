#include <span>

#include "lab_server_fixture.h"
#include "server/phone_recording.h"
#include "support/apng_frames.h"

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;
using Clock = server::PhoneRecording::Clock;

Picture Enlarged(const Picture& picture, int scale) {
    return Painted(picture.width() * scale, picture.height() * scale,
                   [&](int32_t x, int32_t y) { return picture.At(x / scale, y / scale); });
}

std::vector<ApngFrame> FramesOf(const std::string& body) {
    std::vector<ApngFrame> frames;
    std::string error;
    const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());
    EXPECT_TRUE(DecodeApng(std::span(bytes, body.size()), frames, error)) << error;
    return frames;
}

// The recording on its own: a frame only for a change, each lasting until the next, and every
// bound ends it with the frames so far kept.
TEST(PhoneRecording, AddsAFrameOnlyForAChangeAndStopsAtItsBounds) {
    const Clock::time_point t0 = Clock::now();
    server::PhoneRecording still(1, {}, t0);
    for (int i = 0; i < 5; ++i) {
        still.Add(Filled(10, 10, 10, 8, 4), t0 + i * 100ms);
    }
    std::vector<uint8_t> apng;
    std::string error;
    ASSERT_TRUE(still.Encode(t0 + 2s, apng, error)) << error;
    std::vector<ApngFrame> frames;
    ASSERT_TRUE(DecodeApng(apng, frames, error)) << error;
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].delayMs, 2000);
    EXPECT_FALSE(still.Status(t0 + 3s).running);
    EXPECT_DOUBLE_EQ(still.Status(t0 + 3s).seconds, 2.0); // frozen at its end

    struct Case {
        server::RecordingBounds bounds;
        std::size_t framesKept;
        const char* says;
    } cases[] = {
        {{std::chrono::seconds(3600), 2, std::size_t{1} << 20}, 2, "2 frames"},
        // 8 x 4 x 3 bytes a frame at scale 2 = 384: two fit in 800, the third does not.
        {{std::chrono::seconds(3600), 100, 800}, 2, "MiB of changed pixels"},
        {{std::chrono::seconds(1), 100, std::size_t{1} << 20}, 2, "1 s"},
    };
    for (const Case& c : cases) {
        server::PhoneRecording bounded(2, c.bounds, t0);
        for (int i = 0; i < 4; ++i) {
            bounded.Add(Filled(i * 40, i * 40, i * 40, 8, 4), t0 + i * 600ms);
        }
        const server::RecordingStatus status = bounded.Status(t0 + 10s);
        EXPECT_FALSE(status.running) << c.says;
        EXPECT_EQ(status.frames, c.framesKept) << c.says;
        EXPECT_NE(status.ended.find(c.says), std::string::npos) << status.ended;
        ASSERT_TRUE(bounded.Encode(t0 + 10s, apng, error)) << error;
        ASSERT_TRUE(DecodeApng(apng, frames, error)) << error;
        EXPECT_EQ(frames.size(), c.framesKept);
        EXPECT_EQ(frames.back().shown, Enlarged(Filled(40, 40, 40, 8, 4), 2)) << c.says;
    }
}

// Through the API: start, watch it grow to its bound, take the file; one at a time; a held lock does
// not stop anyone from recording.
TEST_F(LabServerTest, RecordsThePhonesPicturesAsAnAnimatedPngUpToItsBound) {
    recordingBounds_.maxFrames = 4;
    StartServer();
    const std::string record = "/api/phones/a/record";
    ASSERT_EQ(Call(port_, http::verb::post, "/api/phones/a/lock", "{}").status, 200);
    EXPECT_EQ(Call(port_, http::verb::get, record).Json()["recorded"], false);
    const HttpReply started = Call(port_, http::verb::post, record, R"({"scale": 2})");
    ASSERT_EQ(started.status, 200) << started.body;
    EXPECT_EQ(started.Json()["scale"], 2);
    EXPECT_GT(started.Json()["max_seconds"], 0);
    EXPECT_EQ(Call(port_, http::verb::post, record, "{}").status, 409);

    auto status = [&] { return Call(port_, http::verb::get, record).Json(); };
    ASSERT_TRUE(WaitUntil([&] { return status()["frames"] >= 1; }, 10s));
    std::vector<Picture> shown = {Decoded(phoneA_)};
    for (int step = 1; step <= 3; ++step) {
        ASSERT_TRUE(phoneA_.ShowPicture(0, Filled(step * 60, 0, 255 - step * 60)));
        shown.push_back(Decoded(phoneA_));
        ASSERT_TRUE(WaitUntil([&] { return status()["frames"] >= step + 1; }, 10s)) << "step " << step;
    }
    EXPECT_EQ(status()["running"], true);
    EXPECT_GT(status()["seconds"].get<double>(), 0.0);
    // A fifth picture is beyond the bound: the recording ends, and its file waits for its taker.
    ASSERT_TRUE(phoneA_.ShowPicture(0, Filled(1, 2, 3)));
    ASSERT_TRUE(WaitUntil([&] { return status()["running"] == false; }, 10s));
    EXPECT_NE(status()["ended"].get<std::string>().find("bound of 4 frames"), std::string::npos);

    const HttpReply file = Call(port_, http::verb::delete_, record, "{}");
    ASSERT_EQ(file.status, 200) << file.body;
    EXPECT_EQ(file.headers.at("Content-Type"), "image/png");
    EXPECT_NE(file.headers.at("Content-Disposition").find("a-recording.png"), std::string::npos);
    const std::vector<ApngFrame> decoded = FramesOf(file.body);
    ASSERT_EQ(decoded.size(), shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_TRUE(decoded[i].shown == Enlarged(shown[i], 2)) << "frame " << i;
    }
    EXPECT_EQ(Call(port_, http::verb::delete_, record, "{}").status, 404);
    EXPECT_EQ(Call(port_, http::verb::get, record).Json()["recorded"], false);
    EXPECT_EQ(Call(port_, http::verb::get, "/api/phones").Json()[0]["watchers"], 0);
}

} // namespace
} // namespace panelgrab::test
