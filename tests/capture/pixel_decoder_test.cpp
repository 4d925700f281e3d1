#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/pixel_decoder.h"

namespace panelgrab {
namespace {

using Bytes = std::vector<uint8_t>;

// Decodes into a buffer with a guard area and checks that the guard stays untouched.
Bytes Decode(uint16_t width, uint16_t height, uint8_t bits, const std::string& text, bool wide,
             std::size_t pixelBytes, uint16_t lineLength) {
    Bytes out(pixelBytes + 16, 0xEE);
    EXPECT_TRUE(
        DecodeRows(width, height, bits, lineLength, text.data(), text.size(), out.data(), pixelBytes, wide));
    for (std::size_t i = pixelBytes; i < out.size(); ++i) {
        EXPECT_EQ(out[i], 0xEE) << "written past the pixel rows at " << i;
    }
    out.resize(pixelBytes);
    return out;
}

Bytes DecodeLine(uint16_t width, uint8_t bits, const std::string& text, bool wide = false) {
    const std::size_t rowSize = (3u * width + 3u) & ~3u;
    return Decode(width, 1, bits, text, wide, rowSize, static_cast<uint16_t>(text.size()));
}

Bytes Rgb(std::initializer_list<std::array<int, 3>> pixels) {
    Bytes out;
    for (const auto& p : pixels) {
        out.push_back(static_cast<uint8_t>(p[2])); // stored blue, green, red
        out.push_back(static_cast<uint8_t>(p[1]));
        out.push_back(static_cast<uint8_t>(p[0]));
    }
    return out;
}

Bytes Prefix(const Bytes& bytes, std::size_t n) {
    return Bytes(bytes.begin(), bytes.begin() + n);
}

TEST(PixelDecoder, EachFormatsColours) {
    const int W = 255;
    // 1 bit: A = 1010.
    EXPECT_EQ(Prefix(DecodeLine(4, 1, "A"), 12), Rgb({{W, W, W}, {0, 0, 0}, {W, W, W}, {0, 0, 0}}));
    // 2 bits narrow: 6 = 01 10.
    EXPECT_EQ(Prefix(DecodeLine(2, 2, "6"), 6), Rgb({{85, 85, 85}, {170, 170, 170}}));
    // 8 bits 3-3-2: E3.
    EXPECT_EQ(Prefix(DecodeLine(1, 8, "E3"), 3), Rgb({{252, 0, 255}}));
    // 16 bits 5-6-5.
    EXPECT_EQ(Prefix(DecodeLine(3, 16, "F80007E0001F"), 9), Rgb({{248, 0, 0}, {0, 252, 0}, {0, 0, 248}}));
    // Wide pixels: the first two characters never matter.
    EXPECT_EQ(Prefix(DecodeLine(1, 16, "A7FF8040", true), 3), Rgb({{248, 128, 64}}));
    EXPECT_EQ(Prefix(DecodeLine(1, 2, "00FF8040", true), 3), Rgb({{248, 128, 64}}));
    // Wide makes no difference to 8 bits.
    EXPECT_EQ(DecodeLine(1, 8, "E3", true), DecodeLine(1, 8, "E3"));
    // Non-hex characters decode as 0.
    EXPECT_EQ(Prefix(DecodeLine(1, 16, "F8zG"), 3), Rgb({{248, 0, 0}}));
}

TEST(PixelDecoder, UnknownFormatsWriteNothing) {
    for (const uint8_t bits : {uint8_t{0}, uint8_t{4}, uint8_t{24}, uint8_t{32}}) {
        const Bytes out = Decode(2, 2, bits, "FFFFFFFFFFFFFFFF", false, 16, 8);
        EXPECT_EQ(out, Bytes(16, 0xEE)) << int(bits);
    }
}

TEST(PixelDecoder, OddWidthsAndRowPadding) {
    // 5 pixels wide at 1 bit: 2 characters give 5 pixels (15 bytes) in a row of 16.
    Bytes out = Decode(5, 2, 1, "F8F8", false, 32, 2);
    const Bytes white(15, 255);
    EXPECT_EQ(Prefix(out, 15), white);
    EXPECT_EQ(out[15], 0xEE); // padding is skipped, not written
    EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 31), white);

    // 3 pixels of 16 bits: 9 bytes each row, the next row 12 bytes on.
    out = Decode(3, 2, 16, "F80007E0001F001F07E0F800", false, 24, 12);
    EXPECT_EQ(Prefix(out, 9), Rgb({{248, 0, 0}, {0, 252, 0}, {0, 0, 248}}));
    EXPECT_EQ(Bytes(out.begin() + 12, out.begin() + 21), Rgb({{0, 0, 248}, {0, 252, 0}, {248, 0, 0}}));

    // More characters than the width needs: exactly `width` pixels, the rest ignored.
    out = Decode(3, 1, 2, "FFFFFF", false, 12, 6);
    EXPECT_EQ(Prefix(out, 9), Bytes(9, 255));
    EXPECT_EQ(out[9], 0xEE);
    out = Decode(1, 1, 16, "F800FFFF", false, 4, 8);
    EXPECT_EQ(Prefix(out, 3), Rgb({{248, 0, 0}}));
}

TEST(PixelDecoder, ShortLinesRunOnAndGroupsCrossLines) {
    // 8 bits, 2 pixels wide, but lines of 3 characters: the second group starts within the line and
    // takes the next line's first character; each row then holds 2 pixels.
    Bytes out = Decode(2, 2, 8, "E30F00", false, 16, 3);
    EXPECT_EQ(Prefix(out, 6), Rgb({{252, 0, 255}, {0, 108, 255}})); // "E3", "0F"
    // A line shorter than its pixels: row 0 yields 1 pixel, so row 1 starts 4 bytes on.
    out = Decode(2, 2, 16, "F80007E0", false, 12, 4);
    EXPECT_EQ(Prefix(out, 3), Rgb({{248, 0, 0}}));
    EXPECT_EQ(Bytes(out.begin() + 4, out.begin() + 7), Rgb({{0, 252, 0}}));
}

TEST(PixelDecoder, LyingSizesStayInBounds) {
    // Entries that promise far more than the text and the rows hold.
    const std::string text = "FFFF";
    for (const uint8_t bits : {uint8_t{1}, uint8_t{2}, uint8_t{8}, uint8_t{16}}) {
        for (const bool wide : {false, true}) {
            const Bytes out = Decode(4096, 4096, bits, text, wide, 10, 4096);
            EXPECT_EQ(out.size(), 10u);
        }
    }
    // Missing characters count as '0': the last, partial group decodes as if padded with zeros.
    const Bytes out = Decode(2, 1, 16, "F8000", false, 8, 8);
    EXPECT_EQ(Prefix(out, 6), Rgb({{248, 0, 0}, {0, 0, 0}}));
    // No data and no rows at all.
    EXPECT_TRUE(DecodeRows(10, 10, 16, 40, nullptr, 0, nullptr, 0, false));
}

} // namespace
} // namespace panelgrab
