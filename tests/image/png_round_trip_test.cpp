// A PNG file the program wrote reads back as the same picture, and refused when cut short. It also
// runs in the Windows pass under Wine, where it is the same codec on another C library.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/image/picture_file_reader.h"
#include "common/image/zlib_png_encoder.h"
#include "image/painted_picture.h"

namespace panelgrab {
namespace {

TEST(PngRoundTrip, ReadsBackWhatItWroteAndRefusesItCutShort) {
    for (const auto& [width, height] : {std::pair<int32_t, int32_t>{1, 1}, {13, 7}, {176, 220}}) {
        const Picture picture = test::Painted(width, height, [width](int32_t x, int32_t y) {
            const auto i = static_cast<uint32_t>(y * width + x);
            return Rgb{static_cast<uint8_t>((i * 2654435761u) >> 13), static_cast<uint8_t>(i * 7),
                       static_cast<uint8_t>(y)};
        });
        std::vector<uint8_t> png;
        std::string error;
        ASSERT_TRUE(EncodePngWithZlib(picture, png, error)) << error;

        Picture again;
        ASSERT_EQ(PictureFileReader::Decode(png, "shot.png", again, error), PictureFileStatus::Ok) << error;
        EXPECT_TRUE(again == picture) << width << "x" << height;

        Picture untouched;
        png.resize(png.size() - 1);
        EXPECT_EQ(PictureFileReader::Decode(png, "shot.png", untouched, error), PictureFileStatus::Damaged);
        EXPECT_EQ(error.rfind("shot.png: damaged PNG file: ", 0), 0u) << error;
        EXPECT_TRUE(untouched.empty());
    }
}

} // namespace
} // namespace panelgrab
