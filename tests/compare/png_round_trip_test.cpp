// A PNG file the program wrote reads back as the same picture: on Linux through libpng both ways,
// in the Windows build through the encoder and the decoder on zlib (this test runs under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "capture/display_bitmap.h"
#include "capture/png_file.h"
#include "compare/picture_file_reader.h"

namespace panelgrab {
namespace {

TEST(PngRoundTrip, ReadsBackWhatItWroteAndRefusesItCutShort) {
    for (const auto& [width, height] : {std::pair<uint16_t, uint16_t>{1, 1}, {13, 7}, {176, 220}}) {
        std::vector<uint8_t> rgb(std::size_t{width} * height * 3);
        for (std::size_t i = 0; i < rgb.size(); ++i) {
            rgb[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
        }
        DisplayBitmap bitmap;
        ASSERT_TRUE(bitmap.SetFromRgb(width, height, rgb.data()));
        std::vector<uint8_t> png;
        std::string error;
        ASSERT_TRUE(EncodePng(bitmap, png, error)) << error;

        Picture picture;
        ASSERT_EQ(PictureFileReader::Decode(png, "shot.png", picture, error), PictureFileStatus::Ok) << error;
        ASSERT_EQ(picture.width(), width);
        ASSERT_EQ(picture.height(), height);
        EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), picture.Row(0))) << width << "x" << height;

        Picture untouched;
        png.resize(png.size() - 1);
        EXPECT_EQ(PictureFileReader::Decode(png, "shot.png", untouched, error), PictureFileStatus::Damaged);
        EXPECT_EQ(error.rfind("shot.png: damaged PNG file: ", 0), 0u) << error;
        EXPECT_TRUE(untouched.empty());
    }
}

} // namespace
} // namespace panelgrab
