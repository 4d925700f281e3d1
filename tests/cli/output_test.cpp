// What the tool prints and writes: progress, traces, pictures and their files.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>

#include "cli/cli_run.h"
#include "cli/progress_bar.h"
#include "cli/trace_printer.h"
#include "common/image/picture_file_writer.h"

namespace panelgrab::cli {
namespace {

using test::ScratchFolder;

TEST(ProgressFormat, BarCountsRateAndTimeLeft) {
    const struct {
        ProgressSnapshot snapshot;
        int barWidth;
        const char* expected;
        std::optional<double> stalledSeconds = std::nullopt;
    } cases[] = {
        {{0, 220, 3.0}, 10, "[----------]   0/220 lines   -- lines/s   --:-- left"},
        {{110, 220, 2.0}, 10, "[#####-----] 110/220 lines   55.0 lines/s   0:02 left"},
        {{77, 220, 2.0}, 20, "[#######-------------]  77/220 lines   38.5 lines/s   0:04 left"},
        {{220, 220, 4.0}, 10, "[##########] 220/220 lines   55.0 lines/s   0:00 left"},
        // A phone that sends more than it announced never draws past the end.
        {{300, 220, 4.0}, 10, "[##########] 220/220 lines   55.0 lines/s   0:00 left"},
        {{1, 4000, 1.0}, 4, "[----]    1/4000 lines   1.0 lines/s   1:06:39 left"},
        {{-5, 10, 1.0}, 4, "[----]  0/10 lines   -- lines/s   --:-- left"},
        {{0, 0, 1.0}, 4, "[####] 0/0 lines   -- lines/s   --:-- left"},
        // A phone that stopped sending: no estimate that only grows.
        {{77, 220, 9.0}, 10, "[###-------]  77/220 lines   stalled for 0:04", 3.2},
        {{0, 220, 2.0}, 10, "[----------]   0/220 lines   stalled for 0:02", 2.0},
        {{220, 220, 9.0}, 10, "[##########] 220/220 lines   24.4 lines/s   0:00 left", 3.2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatProgress(c.snapshot, c.barWidth, c.stalledSeconds), c.expected) << c.expected;
    }
    EXPECT_EQ(FormatDuration(0.2), "0:01"); // rounded up: never "0:00 left" while lines remain
    EXPECT_EQ(FormatDuration(59.5), "1:00");
    EXPECT_EQ(FormatDuration(-3), "0:00");
}

TEST(ProgressFormat, BarDrawsInPlaceOnlyWhenEnabled) {
    for (const bool enabled : {false, true}) {
        std::ostringstream stream;
        ProgressBar bar(stream, enabled);
        bar.Update(100, 1000);
        bar.Update(5, 10);
        bar.Finish();
        const std::string text = stream.str();
        if (!enabled) {
            EXPECT_EQ(text, "");
            continue;
        }
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.front(), '\r');
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
        // The second drawing covers all of the first (a shorter one is padded with blanks).
        const std::size_t second = text.find('\r', 1);
        ASSERT_NE(second, std::string::npos);
        EXPECT_GE(text.size() - 2 - second, second - 1);
    }
}

TEST(TraceOutput, ControlCharactersMadeVisible) {
    const std::pair<std::string, const char*> cases[] = {
        {"AT\r\r\nOK\r\n", "AT\\r\\r\\nOK\\r\\n"},
        {"a\\r", "a\\\\r"}, // a real backslash stays distinguishable from CR
        {std::string("x\0y", 3), "x\\x00y"},
        {"\x1a\x7f\t", "\\x1A\\x7F\\t"},
        {"caf\xC3\xA9", "caf\xC3\xA9"}, // UTF-8 text passes unchanged
    };
    for (const auto& [raw, visible] : cases) {
        EXPECT_EQ(MakeVisible(raw), visible);
    }
}

TEST(PictureOutput, FormatFollowsTheNamesSuffix) {
    const struct {
        const char* name;
        PictureFileFormat format;
    } cases[] = {
        {"x.png", PictureFileFormat::Png},         {"dir.d/X.Png", PictureFileFormat::Png},
        {"x.png.bmp", PictureFileFormat::Bmp},     {"shot-%03d.BMP", PictureFileFormat::Bmp},
        {".png", PictureFileFormat::Unknown}, // a hidden file's name, not a suffix
        {"dir.png/x", PictureFileFormat::Unknown}, {"png", PictureFileFormat::Unknown},
        {"x.jpg", PictureFileFormat::Unknown},     {"x.", PictureFileFormat::Unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PictureFormatOfName(c.name), c.format) << c.name;
    }
    // The window's writer refuses a name of no known format rather than guess, and an empty picture
    // rather than write a broken file.
    ScratchFolder dir;
    std::string error;
    Picture picture;
    picture.Resize(4, 4);
    EXPECT_FALSE(WritePictureFile(picture, dir / "x.jpg", error));
    EXPECT_NE(error.find(".png or .bmp"), std::string::npos) << error;
    EXPECT_FALSE(WritePictureFile(Picture(), dir / "empty.png", error));
    EXPECT_EQ(dir.Count(), 0u);
    ASSERT_TRUE(WritePictureFile(picture, dir / "x.BMP", error)) << error;
    EXPECT_TRUE(test::ReadFile(dir / "x.BMP").starts_with("BM"));
}

} // namespace
} // namespace panelgrab::cli
