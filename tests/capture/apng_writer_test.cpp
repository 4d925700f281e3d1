// The animated PNG recorder: frames only for changes, each frame as shown equal to the picture it
// records, enlarged on request, and delays that add up to the recorded time.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "capture/apng_writer.h"
#include "image/painted_picture.h"
#include "support/apng_frames.h"

namespace panelgrab {
namespace {

using test::ApngFrame;
using test::DecodeApng;

// A picture with a box of `colour` at (x, y), the rest a gradient.
DisplayBitmap Scene(int32_t x, int32_t y, uint8_t colour) {
    DisplayBitmap picture;
    EXPECT_TRUE(picture.SetFromPicture(test::Painted(37, 21, [=](int32_t column, int32_t row) {
        const bool inBox = column >= x && column < x + 5 && row >= y && row < y + 3;
        return inBox ? Rgb{static_cast<uint8_t>(255 - colour), colour, colour}
                     : Rgb{40, static_cast<uint8_t>(row * 11), static_cast<uint8_t>(column * 6)};
    })));
    return picture;
}

Picture Enlarged(const DisplayBitmap& bitmap, int32_t scale) {
    const Picture picture = bitmap.ToPicture();
    return test::Painted(picture.width() * scale, picture.height() * scale,
                         [&](int32_t x, int32_t y) { return picture.At(x / scale, y / scale); });
}

std::vector<ApngFrame> Frames(const ApngWriter& writer, int64_t endMs) {
    std::vector<uint8_t> apng;
    std::string error;
    EXPECT_TRUE(writer.Encode(endMs, apng, error)) << error;
    std::vector<ApngFrame> frames;
    EXPECT_TRUE(DecodeApng(apng, frames, error)) << error;
    return frames;
}

TEST(ApngWriter, EveryFrameShowsItsPictureForTheTimeItStayed) {
    for (const int scale : {1, 2, 3}) {
        SCOPED_TRACE(scale);
        const std::vector<DisplayBitmap> scenes = {Scene(0, 0, 200), Scene(10, 4, 90), Scene(31, 17, 90),
                                                   Scene(31, 17, 10)};
        const std::vector<int64_t> times = {1000, 1250, 1900, 5000};
        ApngWriter writer(scale);
        std::string error;
        for (std::size_t i = 0; i < scenes.size(); ++i) {
            ASSERT_TRUE(writer.AddPicture(scenes[i], times[i], error)) << error;
            // The same picture again adds nothing.
            ASSERT_TRUE(writer.AddPicture(scenes[i], times[i] + 100, error)) << error;
        }
        ASSERT_EQ(writer.frameCount(), scenes.size());
        const std::vector<ApngFrame> frames = Frames(writer, 7000);
        ASSERT_EQ(frames.size(), scenes.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_TRUE(frames[i].shown == Enlarged(scenes[i], scale)) << "frame " << i;
            const int64_t until = i + 1 < times.size() ? times[i + 1] : 7000;
            EXPECT_EQ(frames[i].delayMs, until - times[i]) << "frame " << i;
        }
    }
}

TEST(ApngWriter, AStaticScreenIsOneFrameHoweverLongItStays) {
    // The time recorded and the frames: a delay holds at most 65535 s, beyond it 1x1 frames carry the
    // time on.
    const std::pair<int64_t, std::size_t> cases[] = {
        {0, 1}, {65535, 1}, {4 * 3600 * 1000 + 7, 1}, {65535000, 1}, {65535000 + 20000, 2}, {200000000, 4}};
    for (const auto& [endMs, count] : cases) {
        SCOPED_TRACE(endMs);
        ApngWriter writer;
        std::string error;
        for (int64_t t = 0; t <= endMs; t += std::max<int64_t>(endMs / 7, 1)) {
            ASSERT_TRUE(writer.AddPicture(Scene(3, 3, 7), t, error)) << error;
        }
        const std::vector<ApngFrame> frames = Frames(writer, endMs);
        ASSERT_EQ(frames.size(), count);
        // Delays of more than 65.535 s are kept to 10 ms, 100 ms or 1 s.
        int64_t total = 0;
        for (const ApngFrame& frame : frames) {
            EXPECT_TRUE(frame.shown == Enlarged(Scene(3, 3, 7), 1));
            total += frame.delayMs;
        }
        EXPECT_NEAR(static_cast<double>(total), static_cast<double>(endMs), 500.0);
    }
}

TEST(ApngWriter, RefusesWhatCannotBeAnimated) {
    ApngWriter writer;
    std::string error;
    std::vector<uint8_t> apng;
    EXPECT_FALSE(writer.Encode(100, apng, error));
    EXPECT_EQ(error, "no picture was recorded");
    EXPECT_FALSE(writer.AddPicture(DisplayBitmap(), 0, error));
    ASSERT_TRUE(writer.AddPicture(Scene(0, 0, 1), 0, error));
    DisplayBitmap other;
    ASSERT_TRUE(other.SetSize(20, 20));
    EXPECT_FALSE(writer.AddPicture(other, 10, error));
    EXPECT_EQ(error, "the picture changed size from 37x21 to 20x20; an animation keeps one size");
    EXPECT_EQ(writer.frameCount(), 1u);
}

} // namespace
} // namespace panelgrab
