#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "capture/display_bitmap.h"
#include "image/painted_picture.h"

namespace panelgrab {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

TEST(DisplayBitmap, SizesRowsAndFileHeader) {
    // Width, height, the size of a row and of the file.
    const std::tuple<uint16_t, uint16_t, uint32_t, uint32_t> cases[] = {
        {176, 220, 528, 116214}, {101, 1, 304, 358}, {5, 2, 16, 86}, {0, 0, 0, 54}};
    for (const auto& [width, height, rowSize, fileSize] : cases) {
        DisplayBitmap bitmap;
        ASSERT_TRUE(bitmap.SetSize(width, height));
        const std::vector<uint8_t> file = bitmap.EncodeBmp();
        // Row size; the file size, measured and in the header; the header fields: pixel offset, width,
        // height (positive: bottom row first), pixel bytes.
        EXPECT_EQ((std::vector<uint32_t>{bitmap.rowSize(), static_cast<uint32_t>(file.size()), Le32(file, 2),
                                         Le32(file, 10), Le32(file, 18), Le32(file, 22), Le32(file, 34)}),
                  (std::vector<uint32_t>{rowSize, fileSize, fileSize, 54, width, height, rowSize * height}));
    }
}

TEST(DisplayBitmap, NewPixelsAreBlackAndAbsurdSizesRefused) {
    DisplayBitmap bitmap;
    ASSERT_TRUE(bitmap.SetSize(7, 3));
    EXPECT_EQ(std::vector<uint8_t>(bitmap.pixels(), bitmap.pixels() + bitmap.pixelBytes()),
              std::vector<uint8_t>(24 * 3, 0));
    EXPECT_FALSE(bitmap.SetSize(65535, 65535));
    EXPECT_FALSE(bitmap.hasPixels());
    EXPECT_EQ(bitmap.EncodeBmp().size(), 54u); // no rows to promise
    EXPECT_TRUE(bitmap.SetSize(DisplayInfo{4096, 1, 16, 0, 0}));
}

TEST(DisplayBitmap, RgbRowsSkipThePaddingAndSwapTheChannelsAndTheFileHasThemBottomUp) {
    // 5 pixels a row: 15 bytes of RGB, 16 of BGR with one padding byte.
    const Picture rgb = test::Painted(5, 2, [](int32_t x, int32_t y) {
        const auto i = static_cast<uint8_t>(3 * (5 * y + x));
        return Rgb{static_cast<uint8_t>(i + 1), static_cast<uint8_t>(i + 2), static_cast<uint8_t>(i + 3)};
    });
    DisplayBitmap bitmap;
    ASSERT_TRUE(bitmap.SetFromPicture(rgb));
    ASSERT_EQ(bitmap.rowSize(), 16u);
    const uint8_t* second = bitmap.pixels() + 16;
    EXPECT_EQ((std::vector<uint8_t>{second[0], second[1], second[2], bitmap.pixels()[15]}),
              (std::vector<uint8_t>{18, 17, 16, 0}));
    const std::vector<uint8_t> file = bitmap.EncodeBmp();
    EXPECT_TRUE(std::equal(second, second + 16, &file[54]) && std::equal(second - 16, second, &file[70]));
    EXPECT_EQ(bitmap.ToPicture(), rgb);
    Picture wide;
    ASSERT_TRUE(wide.Resize(5000, 1));
    EXPECT_FALSE(bitmap.SetFromPicture(wide));
}

} // namespace
} // namespace panelgrab
