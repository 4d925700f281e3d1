#include <gtest/gtest.h>

#include <string>

#include "common/local_checksum.h"

namespace panelgrab {
namespace {

int32_t Sum(const std::string& text, uint8_t bits, uint32_t lineLength, uint16_t width, uint16_t left,
            uint16_t top, uint16_t right, uint16_t bottom, bool wide = false) {
    return ChecksumOf(text.data(), text.size(), bits, lineLength, width, left, top, right, bottom, wide);
}

TEST(LocalChecksum, WorkedExamplesFormatsAndPacking) {
    EXPECT_EQ(Sum("F800", 16, 4, 1, 0, 0, 0, 0), 63488);
    EXPECT_EQ(Sum("01FF", 8, 4, 2, 0, 0, 1, 0), 256);
    // 1 bit: 14 set pixels add 255 and 252.
    EXPECT_EQ(Sum("FFFF", 1, 4, 14, 0, 0, 13, 0), 255 + 252);
    // 2 bits: 6 pixels of value 3 add 255 and 15.
    EXPECT_EQ(Sum("FFF", 2, 3, 6, 0, 0, 5, 0), 255 + 15);
    // 16 bits wide: all eight characters as one 32-bit number.
    EXPECT_EQ(Sum("0100F800", 16, 8, 1, 0, 0, 0, 0, true), 0x0100F800);
    // 16 bits narrow, 2 x 2 display, the lower right pixel only.
    EXPECT_EQ(Sum("0001000200030004", 16, 8, 2, 1, 1, 1, 1), 4);
    // Sums wrap at 32 bits.
    EXPECT_EQ(Sum("FFFFFFFFFFFFFFFF", 16, 16, 2, 0, 0, 1, 0, true), -2);
    // 1 bit rows are located by line length and packed afresh each row: rows of 5 pixels A8 = 10101.
    EXPECT_EQ(Sum("A8A8", 1, 2, 5, 0, 0, 4, 1), 2 * 0b10101000);
    // r = 1: one set pixel counts as bit 3.
    EXPECT_EQ(Sum("8", 1, 1, 1, 0, 0, 0, 0), 8);
    // 2 bits: pixels at (width + 1) x y + x, the half chosen by the column.
    // width 1, two rows: row 0 pixel 0 = char 0 >> 2; row 1 pixel 0 is index 2 -> char 1 >> 2.
    EXPECT_EQ(Sum("4C", 2, 1, 1, 0, 0, 0, 1), 1 * 4 + 3);               // o = 2: p0 x 4 + p1
    EXPECT_EQ(Sum("FF", 2, 1, 3, 0, 0, 2, 0), 3 * 64 + 3 * 16 + 3 * 4); // o = 3
    EXPECT_EQ(Sum("C", 2, 1, 1, 0, 0, 0, 0), 3 * 4);                    // o = 1
    // Odd column takes the low half even when its index is even.
    EXPECT_EQ(Sum("3F", 2, 1, 1, 1, 1, 1, 1), 3 * 4); // index 3 -> char 1 'F' & 3
}

TEST(LocalChecksum, EmptyUnknownAndMissing) {
    for (const uint8_t bits : {uint8_t{1}, uint8_t{2}, uint8_t{8}, uint8_t{16}}) {
        EXPECT_EQ(Sum("FFFF", bits, 4, 2, 0, 1, 0, 0), 0) << int(bits); // top > bottom
        EXPECT_EQ(Sum("FFFF", bits, 4, 2, 1, 0, 0, 0), 0) << int(bits); // left > right
    }
    EXPECT_EQ(Sum("FFFF", 24, 4, 2, 0, 0, 1, 1), 0);
    EXPECT_EQ(ChecksumOf(nullptr, 0, 16, 4, 1, 0, 0, 0, 0, false), -1);
}

TEST(LocalChecksum, LyingRectanglesStayInBoundsAndFinish) {
    // The whole 16-bit coordinate range over a 4-character text: missing characters count as 0,
    // and the result equals the sum over what exists.
    const std::string text = "FFFF";
    EXPECT_EQ(Sum(text, 16, 4, 1, 0, 0, 65535, 65535), 0xFFFF);
    EXPECT_EQ(Sum(text, 8, 4, 2, 0, 0, 65535, 65535), 2 * 0xFF);
    EXPECT_EQ(Sum(text, 1, 4, 16, 0, 0, 65535, 65535), 2 * 255);
    // 2 bits: the 8 pixels of the text (all 3) make 2 bytes of 255; the rest are zeros.
    EXPECT_EQ(Sum(text, 2, 4, 65535, 0, 0, 65535, 65535), 2 * 255);
    // A short row at 1 bit, where the zeros after the text complete the byte.
    EXPECT_EQ(Sum("F", 1, 1, 8, 0, 0, 11, 0), 0xF0);
}

} // namespace
} // namespace panelgrab
