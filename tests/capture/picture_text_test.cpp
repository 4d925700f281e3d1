#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "capture/bulk_picture_parser.h"
#include "capture/checksum_answer.h"
#include "capture/picture_text.h"

namespace panelgrab {
namespace {

TEST(PictureText, PixelLineAnswers) {
    // An answer, the room for its digits, what they are.
    const std::tuple<const char*, uint32_t, const char*> cases[] = {
        {"AT*ZIPI=0,0,3\r\r\n*ZIPI: 0123\r\n\r\nOK\r\n", 64, "0123"},
        {"*ZIPI: 0123", 64, "0123"},          // no carriage return: up to the end
        {"*ZIPI: 01g3 x\r\n", 64, "01g3 x"},  // copied as they are
        {"*ZIPI: 0123456789\r\n", 4, "0123"}, // cut at the room
        {"*ZIPI: 0123\r\n", 0, ""},
        {"0123\r\nOK\r\n", 64, ""}, // no ':'
        {"*ZIPI:", 64, ""},         // ends at the ':'
        {"*ZIPI:x", 64, ""},
        {"*ZIPI: \r\n", 64, ""},
    };
    for (const auto& [answer, room, expected] : cases) {
        std::string dest(70, '#');
        const uint32_t count = ExtractPixelLine(answer, dest.data(), room);
        EXPECT_EQ(dest.substr(0, count), expected) << answer;
        EXPECT_EQ(dest[count], '#') << answer; // nothing stored past the count
    }
}

TEST(PictureText, BulkPictureStream) {
    using enum BulkPictureParser::Step;
    // Pictures of 2 lines of 4 digits, asked for with AT*ZISI.
    const std::string shape = "the picture had 2 lines of 4 digits expected; ";
    const struct {
        std::vector<const char*> pieces;
        BulkPictureParser::Step step;
        const char* stored; // the digits stored; the rest stays as it was
        std::string failure;
    } cases[] = {
        {{"AT*ZISI\r\r\n", "*ZISI: 00ff\r\n", "*ZISI: A1b2\r\n", "\r\nOK\r\n"}, Done, "00ffA1b2", ""},
        // Without echo, bare digit lines, and pieces that cut the prefix and the digits anywhere.
        {{"\r\n*ZI", "SI: 01", "23\r", "\n4567\r\n\r\nO", "K\r\n"}, Done, "01234567", ""},
        // The picture request refused: line by line may still read the display.
        {{"AT*ZISI\r\r\nERROR\r\n"}, Refused, "", ""},
        {{"\r\n+CME ERROR: 100\r\n"}, Refused, "", ""},
        // An ERROR after digits is no picture line: the old rule took its E for a digit.
        {{"*ZISI: 0123\r\n", "ERROR\r\n"}, Failed, "0123", "the phone ended the picture with \"ERROR\""},
        // Too few or too many digits, or lines of the wrong length, are no picture.
        {{"*ZISI: 0123\r\nOK\r\n"}, Failed, "0123", shape + "1 lines came"},
        // Lines of another length are whole when every digit came, and not when some are missing.
        {{"*ZISI: 012345\r\n*ZISI: 67\r\nOK\r\n"}, Done, "01234567", ""},
        {{"*ZISI: 012345\r\nOK\r\n"}, Failed, "012345", shape + "line 0 had 6"},
        {{"*ZISI: 0123456789ABCDEF"}, Failed, "01234567", shape + "line 0 had 8 and more"},
        // Text that is not a run of digits, or another command's answer, is no picture data.
        {{"*ZISI: 01x3\r\n"}, Failed, "01", "picture line 0 holds a character that is no digit (\"x\")"},
        {{"*ZIPI: 0123\r\n"}, Failed, "", "line 0 of the picture is no picture data (\"*ZIPI: 0123\")"},
        {{"AT*ZAPC=0,0,1,1\r\r\n"}, Failed, "", "the phone answered another command (\"AT*ZAPC=0,0,1,1\")"},
        {{"*ZISI: 0123\r\nBOOK\r\n"}, Failed, "0123", "line 1 of the picture is no picture data (\"BOOK\")"},
    };
    for (const auto& c : cases) {
        BulkPictureParser parser("AT*ZISI\r", 2, 4);
        std::string data(9, '.');
        BulkPictureParser::Step step = More;
        for (std::size_t i = 0; i < c.pieces.size() && step == More; ++i) {
            step = parser.Feed(c.pieces[i], data.data());
        }
        EXPECT_EQ(step, c.step) << c.pieces.front();
        EXPECT_EQ(data, std::string(c.stored).append(9 - std::strlen(c.stored), '.')) << c.pieces.front();
        EXPECT_EQ(parser.failure(), c.failure) << c.pieces.front();
    }
}

TEST(PictureText, ChecksumAnswers) {
    // An answer, whether it holds a sum, and the sum.
    const std::tuple<const char*, bool, int32_t> cases[] = {
        {"AT*ZAPC=0,0,127,159\r\r\n*ZAPC: \"1A2B\"\r\n\r\nOK\r\n", true, 0x1A2B},
        {"\r\n*ZAPC: 1A2B\r\nOK\r\n", true, 0x1A2B},
        {"\r\n*ZAPC:   \"1a2b\"   \r\nOK\r\n", true, 0x1A2B},
        {"*ZAPC: 0x10\r\n", true, 16},
        {"*ZAPC: FFFFFFFF\r\n", true, -1},
        {"*ZAPC: \"12\r\n", true, 0x12}, // one quote only
        {"*ZAPC: 12G4\r\n", true, 0x12},
        {"*ZAPC: \r\n", false, 0},
        {"*ZAPC: \"\"\r\n", false, 0},
        {"*ZAPC: xyz\r\n", false, 0},
        {"*ZAPC: 1A2B", false, 0},     // no carriage return: nothing to read
        {"12345ABC\r\n", true, 0xABC}, // no marker: read from the sixth character
        {"1234", false, 0},
        {"", false, 0},
    };
    for (const auto& [answer, ok, sum] : cases) {
        int32_t value = 77;
        EXPECT_EQ(ParseChecksum(answer, value), ok) << answer;
        EXPECT_EQ(value, ok ? sum : 77) << answer;
    }
}

} // namespace
} // namespace panelgrab
