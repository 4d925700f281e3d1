#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/checksum_answer.h"
#include "capture/picture_text.h"

namespace panelgrab {
namespace {

TEST(PictureText, PixelLineAnswers) {
    const struct {
        const char* answer;
        uint32_t room;
        const char* expected;
    } cases[] = {
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
    for (const auto& c : cases) {
        std::string dest(70, '#');
        const uint32_t count = ExtractPixelLine(c.answer, dest.data(), c.room);
        EXPECT_EQ(dest.substr(0, count), c.expected) << c.answer;
        EXPECT_EQ(dest[count], '#') << c.answer; // nothing stored past the count
    }
}

TEST(PictureText, BulkStreamHarvest) {
    using H = BulkHarvest;
    const struct {
        std::vector<const char*> texts;
        uint32_t capacity;
        BulkHarvest result;
        uint32_t received;
        std::string stored;
    } cases[] = {
        // The echo line carries no ':' and gives nothing; every later line gives all its digits.
        {{"AT*ZISI\r\r\n", "*ZISI: 00ff\r\n", "*ZISI: A1b2\r\n", "\r\nOK\r\n"}, 16, H::Done, 8, "00ffA1b2."},
        // Without echo the first text holds the prefix; digits start two after the ':'.
        {{"\r\n*ZISI: 12\r\n", "OK\r\n"}, 16, H::Done, 2, "12."},
        // More digits than the capacity: the buffer fills, the count goes on, nothing is written past.
        {{": 0123456789\r\n", "OK"}, 4, H::Done, 10, "0123...."},
        // "ERROR" before any digit: no bulk read. After digits, its E is a digit and its O ends the picture.
        {{"AT*ZISI\r\r\nERROR\r\n"}, 16, H::Error, 0, "."},
        {{"AT*ZISI\r\r\n", "\r\n", "ERROR\r\n"}, 16, H::Error, 0, "."},
        {{"AT*ZISI\r\r\n", "*ZISI: 12\r\n", "ERROR\r\n"}, 16, H::Done, 3, "12E."},
        // A lower-case 'o' is skipped; a stream without 'O' asks for more.
        {{": 1o2\r\n", "34\r\n"}, 16, H::More, 4, "1234."},
        // A line handed over in pieces (its end not yet seen) loses no digit at the seams.
        {{"*ZISI: 01", "23", "45\r\n", "OK\r\n"}, 16, H::Done, 6, "012345."},
    };
    for (const auto& c : cases) {
        std::string data(c.capacity + 4, '.');
        uint32_t received = 0;
        BulkHarvest result = BulkHarvest::More;
        for (std::size_t i = 0; i < c.texts.size() && result == BulkHarvest::More; ++i) {
            result = HarvestBulkText(c.texts[i], i == 0, data.data(), c.capacity, received);
        }
        EXPECT_EQ(result, c.result) << c.stored;
        EXPECT_EQ(received, c.received) << c.stored;
        EXPECT_EQ(data.substr(0, c.stored.size()), c.stored);
    }
}

TEST(PictureText, ChecksumAnswers) {
    const struct {
        const char* answer;
        bool ok;
        int32_t value;
    } cases[] = {
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
    for (const auto& c : cases) {
        int32_t value = 77;
        EXPECT_EQ(ParseChecksum(c.answer, value), c.ok) << c.answer;
        EXPECT_EQ(value, c.ok ? c.value : 77) << c.answer;
    }
}

} // namespace
} // namespace panelgrab
