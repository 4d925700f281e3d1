#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <png.h>
#include <sstream>
#include <unistd.h>

#include "capture/display_bitmap.h"
#include "cli/file_replacer.h"
#include "cli/picture_output.h"
#include "cli/png_writer.h"

namespace panelgrab::cli {
namespace {

namespace fs = std::filesystem;

// A picture with a different colour in every pixel, and an odd width so that rows carry padding.
DisplayBitmap MakeGradient(uint16_t width, uint16_t height) {
    DisplayBitmap bitmap;
    EXPECT_TRUE(bitmap.SetSize(width, height));
    for (uint16_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.pixels() + static_cast<std::size_t>(y) * bitmap.rowSize();
        for (uint16_t x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<uint8_t>(x * 7);     // blue
            row[x * 3 + 1] = static_cast<uint8_t>(y * 11);    // green
            row[x * 3 + 2] = static_cast<uint8_t>(x + y * 3); // red
        }
        // Fill the padding with junk: it must not leak into the PNG.
        std::memset(row + width * 3, 0xAB, bitmap.rowSize() - width * 3u);
    }
    return bitmap;
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PictureOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("panelgrab-cli-test-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::size_t FilesIn() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    fs::path dir_;
};

TEST_F(PictureOutputTest, PngDecodesToTheSamePixels) {
    DisplayBitmap bitmap = MakeGradient(101, 7);
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(EncodePng(bitmap, png, error)) << error;

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << image.message;
    EXPECT_EQ(image.width, 101u);
    EXPECT_EQ(image.height, 7u);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;

    for (uint16_t y = 0; y < 7; ++y) {
        const uint8_t* row = bitmap.pixels() + static_cast<std::size_t>(y) * bitmap.rowSize();
        for (uint16_t x = 0; x < 101; ++x) {
            const uint8_t* got = &rgb[(static_cast<std::size_t>(y) * 101 + x) * 3];
            ASSERT_EQ(got[0], row[x * 3 + 2]) << x << "," << y;
            ASSERT_EQ(got[1], row[x * 3 + 1]) << x << "," << y;
            ASSERT_EQ(got[2], row[x * 3 + 0]) << x << "," << y;
        }
    }
}

TEST_F(PictureOutputTest, TargetChoosesTheFormat) {
    DisplayBitmap bitmap = MakeGradient(5, 3);
    std::string error;

    ASSERT_TRUE(SavePicture(bitmap, (dir_ / "a.PNG").string(), std::cout, error)) << error;
    std::vector<uint8_t> png = ReadFile(dir_ / "a.PNG");
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);

    ASSERT_TRUE(SavePicture(bitmap, (dir_ / "a.bmp").string(), std::cout, error)) << error;
    std::vector<uint8_t> bmp = ReadFile(dir_ / "a.bmp");
    EXPECT_EQ(bmp, bitmap.EncodeBmp());
    EXPECT_EQ(bmp.size(), 54u + 16u * 3u);

    std::ostringstream out;
    ASSERT_TRUE(SavePicture(bitmap, "-", out, error)) << error;
    std::string streamed = out.str();
    EXPECT_EQ(std::vector<uint8_t>(streamed.begin(), streamed.end()), bitmap.EncodeBmp());

    EXPECT_TRUE(IsPngName("x.png"));
    EXPECT_TRUE(IsPngName("dir.d/X.Png"));
    EXPECT_FALSE(IsPngName(".png")); // a hidden file without a name part is not a PNG request
    EXPECT_FALSE(IsPngName("x.png.bmp"));
    EXPECT_FALSE(IsPngName("png"));
}

TEST_F(PictureOutputTest, FailedWritesLoseNothing) {
    DisplayBitmap bitmap = MakeGradient(4, 4);
    std::string error;

    // Replacing succeeds over an existing file and leaves no temporary behind.
    fs::path target = dir_ / "shot.png";
    std::ofstream(target) << "old";
    ASSERT_TRUE(WritePngFile(bitmap, target.string(), error)) << error;
    EXPECT_NE(ReadFile(target).size(), 3u);
    EXPECT_EQ(FilesIn(), 1u);

    // A target that cannot be replaced (a folder) stays as it was, with no temporary left over.
    fs::path folder = dir_ / "taken.png";
    fs::create_directory(folder);
    std::ofstream(folder / "inside") << "keep";
    EXPECT_FALSE(ReplaceFileWith(folder.string(), {1, 2, 3}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(FilesIn(), 2u);

    // A folder that does not exist.
    error.clear();
    EXPECT_FALSE(SavePicture(bitmap, (dir_ / "missing" / "x.png").string(), std::cout, error));
    EXPECT_NE(error.find("x.png"), std::string::npos);

    // An empty picture is refused rather than written as a broken file.
    DisplayBitmap empty;
    std::vector<uint8_t> none;
    EXPECT_FALSE(EncodePng(empty, none, error));
    EXPECT_FALSE(fs::exists(dir_ / "empty.png"));
    EXPECT_FALSE(WritePngFile(empty, (dir_ / "empty.png").string(), error));
    EXPECT_FALSE(fs::exists(dir_ / "empty.png"));
}

} // namespace
} // namespace panelgrab::cli
