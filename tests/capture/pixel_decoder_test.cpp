#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "capture/pixel_decoder.h"

namespace panelgrab {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t kUntouched = 0xEE;

// Decodes into a buffer with a guard area and checks that the guard stays untouched.
Bytes Decode(uint16_t width, uint16_t height, uint8_t bits, const std::string& text, bool wide,
             std::size_t pixelBytes, uint16_t lineLength) {
    Bytes out(pixelBytes + 16, kUntouched);
    EXPECT_TRUE(
        DecodeRows(width, height, bits, lineLength, text.data(), text.size(), out.data(), pixelBytes, wide));
    for (std::size_t i = pixelBytes; i < out.size(); ++i) {
        EXPECT_EQ(out[i], kUntouched) << "written past the pixel rows at " << i;
    }
    out.resize(pixelBytes);
    return out;
}

// The bytes of a description: "RRGGBB" a pixel (stored blue, green, red), ".." a byte left alone.
Bytes Described(const std::string& description) {
    std::istringstream words(description);
    Bytes out;
    for (std::string word; words >> word;) {
        if (word == "..") {
            out.push_back(kUntouched);
            continue;
        }
        for (const int at : {4, 2, 0}) {
            out.push_back(static_cast<uint8_t>(std::stoi(word.substr(at, 2), nullptr, 16)));
        }
    }
    return out;
}

TEST(PixelDecoder, FormatsWidthsAndLines) {
    const struct {
        const char* what;
        uint16_t width, height;
        uint8_t bits;
        const char* text;
        bool wide;
        uint16_t lineLength;
        const char* expected; // as Described(); its length is the pixel bytes
    } cases[] = {
        {"1 bit: A = 1010", 4, 1, 1, "A", false, 1, "FFFFFF 000000 FFFFFF 000000"},
        {"2 bits: 6 = 01 10", 2, 1, 2, "6", false, 1, "555555 AAAAAA .. .."},
        {"8 bits 3-3-2", 1, 1, 8, "E3", false, 2, "FC00FF .."},
        {"8 bits, wide or not", 1, 1, 8, "E3", true, 2, "FC00FF .."},
        {"16 bits 5-6-5", 3, 1, 16, "F80007E0001F", false, 12, "F80000 00FC00 0000F8 .. .. .."},
        // Wide pixels: the first two characters never matter.
        {"16 bits wide", 1, 1, 16, "A7FF8040", true, 8, "F88040 .."},
        {"2 bits wide", 1, 1, 2, "00FF8040", true, 8, "F88040 .."},
        {"non-hex characters are 0", 1, 1, 16, "F8zG", false, 4, "F80000 .."},
        {"unknown format: 0 bits", 1, 1, 0, "FFFF", false, 4, ".. .. .. .."},
        {"unknown format: 4 bits", 1, 1, 4, "FFFF", false, 4, ".. .. .. .."},
        {"unknown format: 24 bits", 1, 1, 24, "FFFFFF", false, 6, ".. .. .. .."},
        {"unknown format: 32 bits", 1, 1, 32, "FFFFFFFF", false, 8, ".. .. .. .."},
        // Padding is skipped, not written, and each row starts at its own multiple of 4.
        {"odd width at 1 bit", 5, 2, 1, "F8F8", false, 2,
         "FFFFFF FFFFFF FFFFFF FFFFFF FFFFFF .. FFFFFF FFFFFF FFFFFF FFFFFF FFFFFF .."},
        {"odd width at 16 bits", 3, 2, 16, "F80007E0001F001F07E0F800", false, 12,
         "F80000 00FC00 0000F8 .. .. .. 0000F8 00FC00 F80000 .. .. .."},
        // More characters than the width needs: exactly `width` pixels, the rest ignored.
        {"longer line at 2 bits", 3, 1, 2, "FFFFFF", false, 6, "FFFFFF FFFFFF FFFFFF .. .. .."},
        {"longer line at 16 bits", 1, 1, 16, "F800FFFF", false, 8, "F80000 .."},
        // Lines of 3 characters at 8 bits: the second group takes the next line's first character, and
        // the next row starts at that line.
        {"short lines run on", 2, 2, 8, "E30F00", false, 3, "FC00FF 006CFF .. .. FC9000 000000 .. .."},
        // A line shorter than its pixels: row 0 yields 1 pixel, so row 1 starts 4 bytes on.
        {"line shorter than its pixels", 2, 2, 16, "F80007E0", false, 4, "F80000 .. 00FC00 .. .. .. .. .."},
        // Missing characters count as '0': the last, partial group decodes as if padded with zeros.
        {"text cut short", 2, 1, 16, "F8000", false, 8, "F80000 000000 .. .."},
    };
    for (const auto& c : cases) {
        const Bytes expected = Described(c.expected);
        const Bytes out = Decode(c.width, c.height, c.bits, c.text, c.wide, expected.size(), c.lineLength);
        EXPECT_EQ(out, expected) << c.what;
    }
}

TEST(PixelDecoder, LyingSizesStayInBounds) {
    // Entries that promise far more than the text and the rows hold.
    for (const uint8_t bits : {uint8_t{1}, uint8_t{2}, uint8_t{8}, uint8_t{16}}) {
        for (const bool wide : {false, true}) {
            EXPECT_EQ(Decode(4096, 4096, bits, "FFFF", wide, 10, 4096).size(), 10u);
        }
    }
    // No data and no rows at all.
    EXPECT_TRUE(DecodeRows(10, 10, 16, 40, nullptr, 0, nullptr, 0, false));
}

} // namespace
} // namespace panelgrab
