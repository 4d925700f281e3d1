#include <gtest/gtest.h>

#include <string>

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

struct Harvest {
    BulkHarvest result;
    uint32_t received;
    std::string stored;
};

Harvest HarvestAll(std::initializer_list<const char*> texts, uint32_t capacity) {
    std::string data(capacity + 4, '.');
    uint32_t received = 0;
    BulkHarvest result = BulkHarvest::More;
    bool first = true;
    for (const char* text : texts) {
        result = HarvestBulkText(text, first, data.data(), capacity, received);
        first = false;
        if (result != BulkHarvest::More) {
            break;
        }
    }
    return {result, received, data};
}

TEST(PictureText, BulkStreamHarvest) {
    // The echo line carries no ':' and gives nothing; every later line gives all its digits.
    Harvest h = HarvestAll({"AT*ZISI\r\r\n", "*ZISI: 00ff\r\n", "*ZISI: A1b2\r\n", "\r\n", "OK\r\n"}, 16);
    EXPECT_EQ(h.result, BulkHarvest::Done);
    EXPECT_EQ(h.received, 8u);
    EXPECT_EQ(h.stored.substr(0, 9), "00ffA1b2.");

    // Without echo the first text holds the prefix; digits start two after the ':'.
    h = HarvestAll({"\r\n*ZISI: 12\r\n", "OK\r\n"}, 16);
    EXPECT_EQ(h.received, 2u);
    EXPECT_EQ(h.stored.substr(0, 3), "12.");

    // More digits than the capacity: the buffer fills, the count goes on, nothing is written past.
    h = HarvestAll({": 0123456789\r\n", "OK"}, 4);
    EXPECT_EQ(h.result, BulkHarvest::Done);
    EXPECT_EQ(h.received, 10u);
    EXPECT_EQ(h.stored, "0123....");

    // "ERROR" before any digit: no bulk read. After digits, its E is a digit and its O ends the picture.
    EXPECT_EQ(HarvestAll({"AT*ZISI\r\r\nERROR\r\n"}, 16).result, BulkHarvest::Error);
    EXPECT_EQ(HarvestAll({"AT*ZISI\r\r\n", "\r\n", "ERROR\r\n"}, 16).result, BulkHarvest::Error);
    h = HarvestAll({"AT*ZISI\r\r\n", "*ZISI: 12\r\n", "ERROR\r\n"}, 16);
    EXPECT_EQ(h.result, BulkHarvest::Done);
    EXPECT_EQ(h.stored.substr(0, 4), "12E.");

    // A lower-case 'o' is skipped; a stream without 'O' asks for more.
    h = HarvestAll({": 1o2\r\n", "34\r\n"}, 16);
    EXPECT_EQ(h.result, BulkHarvest::More);
    EXPECT_EQ(h.stored.substr(0, 5), "1234.");

    // A line handed over in pieces (its end not yet seen) loses no digit at the seams.
    h = HarvestAll({"*ZISI: 01", "23", "45\r\n", "OK\r\n"}, 16);
    EXPECT_EQ(h.received, 6u);
    EXPECT_EQ(h.stored.substr(0, 6), "012345");
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
