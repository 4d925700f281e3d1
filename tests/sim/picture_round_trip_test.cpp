// The phone's picture text, decoded by the project's own decoder, must give exactly what
// ExpectedPicture promises, and that must be the nearest the format can show of the source.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

#include "capture/pixel_decoder.h"
#include "sim/bmp_reader.h"
#include "sim/display_picture.h"
#include "sim/picture_source.h"

namespace panelgrab::sim {
namespace {

// A picture where every channel runs through many values: red across, green down, blue mixed.
RgbImage Gradient(int width, int height) {
    RgbImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.rgb.push_back(static_cast<uint8_t>(x * 255 / (width - 1)));
            image.rgb.push_back(static_cast<uint8_t>(y * 255 / (height - 1)));
            image.rgb.push_back(static_cast<uint8_t>((x * 37 + y * 11) % 256));
        }
    }
    return image;
}

void PutLe(std::string& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
    }
}

std::string EncodeBmp(const RgbImage& image, int bitCount, bool topDown) {
    const uint32_t bpp = static_cast<uint32_t>(bitCount / 8);
    const uint32_t rowBytes = (image.width * bpp + 3) / 4 * 4;
    std::string b = "BM";
    PutLe(b, 54 + rowBytes * image.height, 4);
    PutLe(b, 0, 4);
    PutLe(b, 54, 4);
    PutLe(b, 40, 4);
    PutLe(b, static_cast<uint32_t>(image.width), 4);
    PutLe(b, static_cast<uint32_t>(topDown ? -image.height : image.height), 4);
    PutLe(b, 1, 2);
    PutLe(b, static_cast<uint32_t>(bitCount), 2);
    b.append(24, '\0');
    for (int row = 0; row < image.height; ++row) {
        const int y = topDown ? row : image.height - 1 - row;
        std::string line;
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            line += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
            if (bpp == 4) {
                line.push_back('\xff');
            }
        }
        line.resize(rowBytes, '\0');
        b += line;
    }
    return b;
}

std::string WriteTempBmp(const RgbImage& image, int bitCount, bool topDown) {
    char path[] = "/tmp/simpicXXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    std::ofstream(path, std::ios::binary) << EncodeBmp(image, bitCount, topDown);
    return path;
}

// Decodes the phone's picture text with the client's decoder into an RGB picture.
RgbImage DecodeLikeAClient(const DisplayPicture& picture) {
    const SimDisplay& d = picture.display();
    const std::size_t rowSize = (static_cast<std::size_t>(d.width) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> rows(rowSize * d.height, 0x5A);
    const std::string& text = picture.PictureText();
    DecodeRows(static_cast<uint16_t>(d.width), static_cast<uint16_t>(d.height),
               static_cast<uint8_t>(d.bitsPerPixel), static_cast<uint16_t>(picture.lineLength()), text.data(),
               text.size(), rows.data(), rows.size(), picture.longForm());
    RgbImage image{d.width, d.height, {}};
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
            const uint8_t* bgr = &rows[y * rowSize + x * 3];
            image.rgb.insert(image.rgb.end(), {bgr[2], bgr[1], bgr[0]});
        }
    }
    return image;
}

struct FormatCase {
    std::string dialect;
    int bitsPerPixel;
    int tolerance[3]; // largest distance from the source a nearest code may have, per channel
    bool grey;        // the format shows luminance only
};

TEST(PictureRoundTrip, ClientDecodingGivesTheExpectedPictureAndItIsTheNearestColour) {
    const FormatCase cases[] = {
        {"long", 16, {7, 3, 7}, false},         {"long", 2, {49, 45, 49}, true},
        {"long", 8, {18, 18, 42}, false},       {"long", 1, {255, 255, 255}, true},
        {"short", 16, {7, 3, 7}, false},        {"per-line", 16, {7, 3, 7}, false},
        {"per-line", 8, {18, 18, 42}, false},   {"per-line", 2, {42, 42, 42}, true},
        {"per-line", 1, {255, 255, 255}, true},
    };
    const RgbImage source = Gradient(23, 9);
    const std::string bmp = WriteTempBmp(source, 24, false);
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.dialect + " " + std::to_string(c.bitsPerPixel));
        SimOptions options;
        std::string error;
        // One pixel wider and taller than the picture: the padding must come out black.
        ASSERT_TRUE(ParseSimOptions({"--dialect=" + c.dialect,
                                     "--display=24x10:" + std::to_string(c.bitsPerPixel), "--picture=" + bmp},
                                    options, error))
            << error;
        std::vector<DisplayPicture> pictures;
        ASSERT_TRUE(LoadDisplayPictures(options, pictures, error)) << error;
        const RgbImage expected = ExpectedPicture(options, 0);
        ASSERT_EQ(pictures[0].PictureText().size(), 10u * pictures[0].lineLength());
        EXPECT_EQ(DecodeLikeAClient(pictures[0]).rgb, expected.rgb);
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 24; ++x) {
                const uint8_t* got = expected.At(x, y);
                if (x >= source.width || y >= source.height) {
                    EXPECT_EQ(got[0] + got[1] + got[2], 0) << x << "," << y;
                    continue;
                }
                const uint8_t* want = source.At(x, y);
                const int luminance = (299 * want[0] + 587 * want[1] + 114 * want[2] + 500) / 1000;
                for (int ch = 0; ch < 3; ++ch) {
                    const int target = c.grey ? luminance : want[ch];
                    EXPECT_LE(std::abs(got[ch] - target), c.tolerance[ch]) << x << "," << y << " ch " << ch;
                }
                if (c.bitsPerPixel == 1) {
                    EXPECT_EQ(got[0] == 255, luminance >= 128) << x << "," << y;
                }
            }
        }
    }
    std::remove(bmp.c_str());
}

TEST(PictureRoundTrip, TestCardSurvivesEveryFormat) {
    for (const std::string dialect : {"long", "per-line"}) {
        for (const int bpp : {1, 2, 8, 16}) {
            SimOptions options;
            std::string error;
            ASSERT_TRUE(ParseSimOptions({"--dialect=" + dialect, "--display=37x45:" + std::to_string(bpp)},
                                        options, error));
            std::vector<DisplayPicture> pictures;
            ASSERT_TRUE(LoadDisplayPictures(options, pictures, error));
            EXPECT_EQ(DecodeLikeAClient(pictures[0]).rgb, ExpectedPicture(options, 0).rgb) << dialect << bpp;
        }
    }
}

TEST(BmpReader, ReadsBothRowOrdersAndDepthsAndRefusesOthers) {
    const RgbImage source = Gradient(5, 3);
    for (const int bits : {24, 32}) {
        for (const bool topDown : {false, true}) {
            RgbImage image;
            std::string error;
            ASSERT_TRUE(DecodeBmp(EncodeBmp(source, bits, topDown), image, error)) << error;
            EXPECT_EQ(image.rgb, source.rgb) << bits << topDown;
        }
    }
    std::string eightBit = EncodeBmp(source, 24, false);
    eightBit[28] = 8;
    std::string truncated = EncodeBmp(source, 24, false);
    truncated.resize(truncated.size() - 3);
    for (const std::string& bad : {std::string("BM"), eightBit, truncated, std::string(60, 'x')}) {
        RgbImage image;
        std::string error;
        EXPECT_FALSE(DecodeBmp(bad, image, error));
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(image.rgb.empty());
    }
    RgbImage image;
    std::string error;
    EXPECT_FALSE(ReadBmpFile("/nonexistent/picture.bmp", image, error));
    EXPECT_NE(error.find("/nonexistent/picture.bmp"), std::string::npos);
}

} // namespace
} // namespace panelgrab::sim
