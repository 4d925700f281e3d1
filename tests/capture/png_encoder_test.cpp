// The PNG encoder on zlib (the Windows build's) against libpng: the same picture must give the same
// file, byte for byte, so that a capture saved as PNG is identical on every system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/display_bitmap.h"
#include "capture/png_file.h"
#include "capture/zlib_png_encoder.h"

namespace panelgrab {
namespace {

using Painter = std::function<uint8_t(int x, int y, int channel)>;

DisplayBitmap Painted(uint16_t width, uint16_t height, const Painter& paint) {
    DisplayBitmap picture;
    EXPECT_TRUE(picture.SetSize(width, height));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.pixels() + static_cast<std::size_t>(y) * picture.rowSize();
        for (int x = 0; x < width; ++x) {
            for (int channel = 0; channel < 3; ++channel) {
                row[3 * x + channel] = paint(x, y, channel);
            }
        }
    }
    return picture;
}

uint8_t Noise(int x, int y, int channel) {
    uint32_t v = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
                 static_cast<uint32_t>(channel) * 83492791u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    return static_cast<uint8_t>(v >> 24);
}

TEST(ZlibPngEncoder, SameBytesAsLibpng) {
    const struct {
        const char* name;
        uint16_t width;
        uint16_t height;
        Painter paint;
    } cases[] = {
        // Each filter wins somewhere: flat rows (None/Up), horizontal ramps (Sub), diagonal
        // gradients (Average, Paeth), noise (None); small pictures shrink the deflate window.
        {"one pixel", 1, 1, [](int, int, int) { return uint8_t{0x80}; }},
        {"black", 5, 3, [](int, int, int) { return uint8_t{0}; }},
        {"ramp", 40, 7, [](int x, int, int c) { return static_cast<uint8_t>(x * 6 + c); }},
        {"gradient", 64, 64,
         [](int x, int y, int c) { return static_cast<uint8_t>(x * 3 + y * 5 + c * 40); }},
        {"stripes", 176, 220,
         [](int, int y, int c) { return static_cast<uint8_t>((y / 4) % 2 ? 255 - c : c); }},
        {"noise", 176, 220, Noise},
        {"noise, odd width", 97, 13, Noise},
        {"checks and noise", 240, 320,
         [](int x, int y, int c) {
             return ((x / 8 + y / 8) % 2) ? Noise(x, y, c) : static_cast<uint8_t>(c * 9);
         }},
    };
    for (const auto& c : cases) {
        const DisplayBitmap picture = Painted(c.width, c.height, c.paint);
        std::vector<uint8_t> expected;
        std::vector<uint8_t> actual;
        std::string error;
        ASSERT_TRUE(EncodePng(picture, expected, error)) << c.name << ": " << error;
        ASSERT_TRUE(EncodePngWithZlib(picture, actual, error)) << c.name << ": " << error;
        const auto parted = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
        EXPECT_TRUE(actual == expected) << c.name << ": sizes " << actual.size() << " and " << expected.size()
                                        << ", first difference at " << parted.first - actual.begin();
    }
}

TEST(ZlibPngEncoder, EmptyPictureIsRefused) {
    std::vector<uint8_t> png;
    std::string error;
    EXPECT_FALSE(EncodePngWithZlib(DisplayBitmap(), png, error));
    EXPECT_EQ(error, "the picture is empty");
}

} // namespace
} // namespace panelgrab
