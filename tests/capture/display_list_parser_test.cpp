#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "capture/display_list_parser.h"
#include "capture/format_scan.h"
#include "capture/picture_text.h"

namespace panelgrab {
namespace {

TEST(DisplayListParser, ZisiAnswersGiveTheirEntries) {
    const std::pair<const char*, DisplayList> cases[] = {
        // Two displays: height, width, bits, an unused range, then the second display.
        {"AT*ZISI=?\r\r\n*ZISI: 220, 176, 16, (0 - 1), 64, 96, 16\r\n\r\nOK\r\n",
         {{176, 220, 16, 1408, 0}, {96, 64, 16, 768, 1}}},
        {"\r\n*ZISI: 160, 128, 2, (0 - 0)\r\nOK\r\n", {{128, 160, 2, 1024, 0}}},
        // Short form: always 16 bits, 4 characters a pixel, the third group unread.
        {"\r\n*ZISI: (128),(160),(24)\r\nOK\r\n", {{160, 128, 16, 640, 0}}},
        // Blanks in the pattern match any run of white space, also none.
        {"*ZISI:\t220,176,\r\n 8, (0-1),1,2,3", {{176, 220, 8, 1408, 0}, {2, 1, 3, 16, 1}}},
        // Partial descriptions name nothing.
        {"*ZISI: 220, 176, 16, (0\r\nOK\r\n", {}},
        {"*ZISI: 220, 176, 16, (0 - 1), 64, 96\r\nOK\r\n", {}},
        {"*ZISI: 220, 176,\r\n", {{176, 220, 16, 704, 0}}}, // two numbers: the short entry
        {"", {}},
        {"*ZISI: x, 176, 16", {}},
        // Only the first ':' counts.
        {"X: Y *ZISI: 220, 176, 16", {}},
        // Signs are taken as the standard scan takes them; sizes keep their low 16 bits.
        {"*ZISI: +220, -1, 16", {{65535, 220, 16, 524280, 0}}},
        {"*ZISI: 99999999999, 176, 16", {{176, 65535, 16, 1408, 0}}},
    };
    for (const auto& [answer, expected] : cases) {
        EXPECT_EQ(ParseZisiDisplayList(answer), expected) << answer;
    }
}

TEST(DisplayListParser, ScanStopsAtUnterminatedEnd) {
    // A view into a longer buffer: nothing past its end may be read or matched.
    const std::string buffer = ": 220, 176, 16, (0 - 1), 64, 96, 16";
    EXPECT_EQ(ParseZisiDisplayList(std::string_view(buffer).substr(0, 13)),
              (DisplayList{{176, 220, 1, 1408, 0}}));
    int32_t values[2] = {};
    EXPECT_EQ(ScanDecimals("12 ,  -7x", "%d , %d", values, 2), 2u);
    EXPECT_EQ(values[1], -7);
    EXPECT_EQ(ScanDecimals("12,-", "%d,%d", values, 2), 1u);
    EXPECT_EQ(ScanDecimals("", "%d", values, 2), 0u);
    EXPECT_EQ(ScanDecimals("1,2,3", "%d,%d,%d", values, 2), 3u); // counted beyond what is stored
}

TEST(DisplayListParser, ZipiGroupsAndEntries) {
    const auto groups = ParseZipiGroups("AT*ZIPI=?\r\r\n*ZIPI: (0-159),(0-127),(0-3)\r\nOK\r\n");
    EXPECT_EQ(groups, (std::array<uint32_t, 6>{0, 159, 0, 127, 0, 3}));
    const ZipiSize size = ZipiDisplaySize(groups);
    // The 128 x 160 display is 16 bits whatever line 0 says.
    EXPECT_EQ(ZipiDisplayEntry(size, 37), (DisplayInfo{128, 160, 16, 512, 0}));
    EXPECT_EQ(ZipiDisplayEntry(size, 4000), (DisplayInfo{128, 160, 16, 512, 0}));

    const ZipiSize other = ZipiDisplaySize(ParseZipiGroups("*ZIPI: (0-79),(0-100)"));
    EXPECT_EQ(ZipiDisplayEntry(other, 51), (DisplayInfo{101, 80, 2, 51, 0})); // 204 / 101
    EXPECT_EQ(ZipiDisplayEntry(other, 0), (DisplayInfo{101, 80, 0, 0, 0}));

    // Missing groups count as 0; a wrapped range gives width 0 and no division by it.
    EXPECT_EQ(ParseZipiGroups("*ZIPI: (0-9)"), (std::array<uint32_t, 6>{0, 9, 0, 0, 0, 0}));
    const ZipiSize wrapped = ZipiDisplaySize(ParseZipiGroups("0,9,0,4294967295"));
    EXPECT_EQ(wrapped.width, 0u);
    EXPECT_EQ(ZipiDisplayEntry(wrapped, 100).bitsPerPixel, 0);
}

// An ERROR in any case sends a read to the picture-line dialect; the long form tells the pixel width.
TEST(DisplayListParser, ErrorAndLongFormProbes) {
    // An answer, whether it reports an error, and whether it is the long form.
    const std::tuple<const char*, bool, bool> cases[] = {
        {"\r\nERROR\r\n", true, false},
        {"\r\n+CME error: 4\r\n", true, false},
        {"ErRoR", true, false},
        {"ERRO R", false, false},
        {"*ZISI: 220, 176, 16\r\nOK\r\n", false, true},
        {"*zisi: 220, 176, 16, (0 - 1), 64, 96, 16\r\nOK\r\n", false, true},
        {"*ZISI: (128),(160),(16)\r\nOK\r\n", false, false},
        {"*ZISI: 220, 176\r\nOK\r\n", false, false},
        {"*ZISI: 220, 176, x", false, false},
        {"220, 176, 16", false, false}, // no ':'
        {"*ZISI: 220, 176, 16\r\nerror\r\n", true, false},
    };
    for (const auto& [answer, error, wide] : cases) {
        EXPECT_EQ(std::pair(AnswerReportsError(answer), IsLongListForm(answer)), std::pair(error, wide))
            << answer;
    }
}

} // namespace
} // namespace panelgrab
