// Saving pictures on Windows: the replacement through MoveFileExW keeps an old file whole until the
// new one is, and leaves no temporary file behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "capture/display_bitmap.h"
#include "common/atomic_file.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("panelgrab-files-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::size_t FilesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

    fs::path folder_;
};

TEST_F(Win32Files, BitmapReplacesAnExistingFileWhole) {
    DisplayBitmap picture;
    ASSERT_TRUE(picture.SetSize(5, 3));
    picture.pixels()[0] = 0x7F;
    const fs::path target = folder_ / "shot.bmp";
    std::ofstream(target, std::ios::binary)
        << "an older and much longer file than the new picture, which it must not "
           "leave a tail of behind the new bytes at all";
    ASSERT_TRUE(picture.WriteBmpFile(target.string()));
    EXPECT_EQ(ReadAll(target), picture.EncodeBmp());
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(Win32Files, FailuresLeaveNothingBehindAndSayWhy) {
    DisplayBitmap picture;
    ASSERT_TRUE(picture.SetSize(2, 2));
    const fs::path missing = folder_ / "no-such-folder" / "shot.bmp";
    EXPECT_FALSE(picture.WriteBmpFile(missing.string()));

    std::string error;
    EXPECT_FALSE(WriteFileAtomically(missing.string(), "abc", 3, error));
    EXPECT_EQ(error.rfind("Windows error 3", 0), 0u) << error; // the path was not found
    EXPECT_EQ(FilesInFolder(), 0u);

    // A folder where the file should be cannot be replaced; it stays as it was.
    const fs::path occupied = folder_ / "taken.png";
    fs::create_directory(occupied);
    EXPECT_FALSE(WriteFileAtomically(occupied.string(), "abc", 3, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(occupied));
    EXPECT_EQ(FilesInFolder(), 1u);
}

} // namespace
} // namespace panelgrab
