// What the simulated phone shows while it runs: --animate, pictures swapped by a test or a watched
// file, and that the whole-picture, line and checksum answers always agree with what is shown.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>
#include <unistd.h>

#include "capture/display_bitmap.h"
#include "common/commands.h"
#include "common/local_checksum.h"
#include "sim/picture_source.h"
#include "sim/screen_animation.h"
#include "sim/shown_screen.h"
#include "sim/simulated_phone.h"
#include "transport/serial_port.h"

namespace panelgrab::sim {
namespace {

using namespace std::chrono_literals;

SimOptions Parsed(const std::vector<std::string>& args) {
    SimOptions options;
    std::string error;
    EXPECT_TRUE(ParseSimOptions(args, options, error)) << error;
    return options;
}

RgbImage Filled(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    RgbImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        image.rgb.insert(image.rgb.end(), {r, g, b});
    }
    return image;
}

// The pixels where two decoded pictures of the same size differ, as a bounding box; none: all -1.
ScreenBox Differences(const RgbImage& a, const RgbImage& b) {
    ScreenBox box{-1, -1, -1, -1};
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (std::equal(a.At(x, y), a.At(x, y) + 3, b.At(x, y))) {
                continue;
            }
            if (box.left < 0) {
                box = {x, y, x, y};
            }
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                   std::max(box.bottom, y)};
        }
    }
    return box;
}

bool Inside(const ScreenBox& inner, const ScreenBox& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Refused animation and watch options are in SimOptions.AcceptsGoodOptionsAndExplainsBadOnes...
TEST(ShownScreenOptions, AnimationOptions) {
    const struct {
        std::vector<std::string> args;
        bool clock, highlight;
        int periodMs;
    } cases[] = {
        {{"--animate"}, true, true, 1000},
        {{"--animate", "--baud", "9600"}, true, true, 1000}, // takes no next word as a value
        {{"--animate=clock", "--animate-period=250"}, true, false, 250},
        {{"--animate=highlight,clock"}, true, true, 1000},
        {{"--animate=highlight"}, false, true, 1000},
    };
    for (const auto& c : cases) {
        const SimAnimation animation = Parsed(c.args).animation;
        EXPECT_EQ((std::tuple{animation.clock, animation.highlight, animation.periodMs}),
                  (std::tuple{c.clock, c.highlight, c.periodMs}))
            << testing::PrintToString(c.args);
    }
}

// Each part of the animation changes only its own place, at every step.
TEST(ScreenAnimation, EachStepChangesOnlyTheClockOrTheListRows) {
    ASSERT_EQ(ListRowCount(176, 220), 4);
    const ScreenBox rows{1, ListRowBox(176, 220, 0).top, 174, ListRowBox(176, 220, 3).bottom};
    const struct {
        SimAnimation animation;
        ScreenBox where;
    } cases[] = {
        {{.clock = true}, ClockBox(176)},
        {{.highlight = true}, rows},
    };
    const RgbImage card = ExpectedPicture(SimOptions{}, 0);
    for (const auto& c : cases) {
        for (int64_t step = 0; step < 70; ++step) { // past a minute, and round the rows more than once
            RgbImage before = card;
            RgbImage after = card;
            DrawAnimationStep(before, c.animation, step);
            DrawAnimationStep(after, c.animation, step + 1);
            const ScreenBox changed = Differences(before, after);
            ASSERT_GE(changed.left, 0) << "step " << step << ": nothing changed";
            EXPECT_TRUE(Inside(changed, c.where))
                << "step " << step << ": changed (" << changed.left << "," << changed.top << ")-("
                << changed.right << "," << changed.bottom << ")";
        }
    }
}

std::string Transact(SerialPort& port, const std::string& command) {
    std::string answer;
    EXPECT_EQ(port.Transact(NarrowString(command.c_str()), answer, 50, 1u << 16), ExchangeResult::Ok)
        << command;
    return answer;
}

// The hexadecimal lines of a bulk answer, in order.
std::vector<std::string> BulkLines(const std::string& answer) {
    std::vector<std::string> lines;
    for (std::size_t at = answer.find("*ZISI: "); at != std::string::npos; at = answer.find("*ZISI: ", at)) {
        at += 7;
        lines.push_back(answer.substr(at, answer.find('\r', at) - at));
    }
    return lines;
}

TEST(SimulatedPhone, SwappedPictureIsWhatEveryAnswerShows) {
    SimulatedPhone phone(Parsed({"--display=24x10:16"}));
    std::string error;
    ASSERT_TRUE(phone.Start(error)) << error;
    ConnectionSettings settings(phone.DevicePath(), 115200);
    settings.SetTiming(PortTiming::Fast());
    SerialPort port(settings);
    ASSERT_TRUE(port.Open(false)) << port.errorText();

    std::vector<std::string> shown[2];
    std::string checksums[2];
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            ASSERT_TRUE(phone.ShowPicture(0, Filled(30, 4, 248, 0, 248))); // cropped, padded with black
            EXPECT_FALSE(phone.ShowPicture(1, Filled(2, 2, 0, 0, 0)));     // no second display
        }
        shown[round] = BulkLines(Transact(port, "AT*ZISI\r"));
        ASSERT_EQ(shown[round].size(), 10u);
        for (int y = 0; y < 10; ++y) {
            const std::string line = Transact(port, "AT*ZIPI=" + std::to_string(y) + ",0,23\r");
            EXPECT_NE(line.find("*ZIPI: " + shown[round][static_cast<std::size_t>(y)] + "\r"),
                      std::string::npos)
                << "line " << y << " of round " << round;
        }
        checksums[round] = Transact(port, "AT*ZAPC=2,1,20,8\r");
        std::string text;
        for (const std::string& line : shown[round]) {
            text += line;
        }
        char expected[32];
        std::snprintf(
            expected, sizeof expected, "*ZAPC: \"%08X\"",
            static_cast<uint32_t>(ChecksumOf(text.data(), text.size(), 16, 192, 24, 2, 1, 20, 8, true)));
        EXPECT_NE(checksums[round].find(expected), std::string::npos) << checksums[round];
    }
    EXPECT_NE(shown[0], shown[1]);
    EXPECT_NE(checksums[0], checksums[1]);
    // The swapped picture's first row is one colour throughout; below its four rows, black.
    EXPECT_EQ(shown[1][0], [&] {
        std::string row;
        for (int i = 0; i < 24; ++i) {
            row += shown[1][0].substr(0, 8);
        }
        return row;
    }());
    EXPECT_NE(shown[1][0].substr(0, 8), "00000000");
    EXPECT_EQ(shown[1][9], std::string(24 * 8, '0')); // below the swapped picture: black
    const std::vector<uint64_t> versions = phone.WholePictureVersions();
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_NE(versions[0], versions[1]);
}

void WriteBmpAtomically(const std::string& path, const RgbImage& image) {
    DisplayBitmap bitmap;
    ASSERT_TRUE(bitmap.SetSize(static_cast<uint16_t>(image.width), static_cast<uint16_t>(image.height)));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::reverse_copy(image.At(x, y), image.At(x, y) + 3,
                              bitmap.pixels() + y * bitmap.rowSize() + x * 3);
        }
    }
    ASSERT_TRUE(bitmap.WriteBmpFile(path)); // a temporary file renamed over the target
}

TEST(ShownScreen, WatchedPictureIsReReadWhenReplacedAndKeptWhenUnreadable) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("panelgrab-watched-" + std::to_string(getpid()) + ".bmp"))
            .string();
    WriteBmpAtomically(path, Filled(8, 4, 248, 0, 0));
    ShownScreen screen(Parsed({"--display=8x4:16", "--picture=" + path, "--watch-picture"}));
    std::string error;
    ASSERT_TRUE(screen.Load(error)) << error;
    const ShownScreen::Snapshot red = screen.Now();
    EXPECT_EQ(screen.Now().version, red.version) << "an unchanged file is not read again";
    EXPECT_EQ(red.pictures->front().Decoded().rgb, Filled(8, 4, 248, 0, 0).rgb);

    WriteBmpAtomically(path, Filled(8, 4, 0, 0, 248));
    const ShownScreen::Snapshot blue = screen.Now();
    EXPECT_NE(blue.version, red.version);
    EXPECT_EQ(blue.pictures->front().Decoded().rgb, Filled(8, 4, 0, 0, 248).rgb);

    std::ofstream(path + ".new", std::ios::binary) << "not a picture";
    std::filesystem::rename(path + ".new", path);
    EXPECT_EQ(screen.Now().version, blue.version) << "a broken file leaves the last picture shown";
    std::filesystem::remove(path);
    EXPECT_EQ(screen.Now().version, blue.version);
}

} // namespace
} // namespace panelgrab::sim
