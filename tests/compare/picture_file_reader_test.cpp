// The BMP and PNG readers against files written by other programs (Pillow, ImageMagick) and by
// hand, and the errors for files they refuse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "compare/picture_file_reader.h"
#include "support/scratch_folder.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;

constexpr int32_t kWidth = 13;
constexpr int32_t kHeight = 7;

// The formulas of write_reference_pictures.py.
Rgb Colour(int32_t x, int32_t y) {
    return {static_cast<uint8_t>((x * 37 + y * 11) % 256), static_cast<uint8_t>((x * 5 + y * 53) % 256),
            static_cast<uint8_t>((x * 97 + y * 3 + 128) % 256)};
}
Rgb Grey(int32_t x, int32_t y) {
    const auto v = static_cast<uint8_t>((x * 19 + y * 31) % 256);
    return {v, v, v};
}
Rgb Bilevel(int32_t x, int32_t y) {
    const uint8_t v = (x + y) % 3 == 0 ? 255 : 0;
    return {v, v, v};
}
Rgb Palette(int32_t x, int32_t y) {
    const int i = (x + 13 * y) % 256;
    return {static_cast<uint8_t>(i * 7 % 256), static_cast<uint8_t>(i * 13 % 256),
            static_cast<uint8_t>(i * 29 % 256)};
}

using Formula = std::function<Rgb(int32_t, int32_t)>;

void ExpectPicture(const Picture& picture, const Formula& formula, const std::string& what) {
    ASSERT_EQ(picture.width(), kWidth) << what;
    ASSERT_EQ(picture.height(), kHeight) << what;
    int wrong = 0;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            wrong += picture.At(x, y) == formula(x, y) ? 0 : 1;
        }
    }
    EXPECT_EQ(wrong, 0) << what << ": pixels that differ from what was written";
}

PictureFileStatus Read(const std::string& path, Picture& picture, std::string& error) {
    return PictureFileReader::Read(path, picture, error);
}

PictureFileStatus Decode(const std::string& bytes, const std::string& name, Picture& picture,
                         std::string& error) {
    return PictureFileReader::Decode({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, name,
                                     picture, error);
}

TEST(PictureFileReader, ReadsWhatPillowWritesAndAPngCutAnywhereIsDamagedNeverACrash) {
    const std::string python = PANELGRAB_PIL_PYTHON;
    if (python.empty()) {
        GTEST_SKIP() << "python3 with Pillow (python3-pil) was not found when configuring";
    }
    ScratchFolder folder;
    const std::string script = std::string(PANELGRAB_TESTS_DIR) + "/compare/write_reference_pictures.py";
    ASSERT_EQ(std::system((python + " " + script + " " + (folder / "")).c_str()), 0);

    const struct {
        const char* file;
        Formula formula;
    } cases[] = {
        {"rgb.png", Colour},      {"rgb24.bmp", Colour},    {"png-named.bmp", Colour}, {"rgba.png", Colour},
        {"rgba32.bmp", Colour},   {"grey.png", Grey},       {"grey-alpha.png", Grey},  {"grey16.png", Grey},
        {"bilevel.png", Bilevel}, {"palette.png", Palette},
    };
    for (const auto& c : cases) {
        Picture picture;
        std::string error;
        ASSERT_EQ(Read(folder / c.file, picture, error), PictureFileStatus::Ok) << c.file << ": " << error;
        ExpectPicture(picture, c.formula, c.file);
    }
    Picture untouched;
    std::string error;
    EXPECT_EQ(Read(folder / "grey8.bmp", untouched, error), PictureFileStatus::Unsupported);
    EXPECT_EQ(error, folder / "grey8.bmp" +
                         ": only 24- and 32-bit BMP pictures are read, this one has 8 bits a pixel");
    EXPECT_TRUE(untouched.empty());

    for (const char* name : {"rgb.png", "palette.png", "grey16.png"}) {
        const std::string whole = ReadFile(folder / name);
        for (std::size_t length = 0; length < whole.size(); ++length) {
            Picture picture;
            EXPECT_NE(Decode(whole.substr(0, length), name, picture, error), PictureFileStatus::Ok)
                << name << " cut to " << length;
            EXPECT_TRUE(picture.empty());
        }
    }
}

TEST(PictureFileReader, ReadsWhatImageMagickWrites) {
    const std::string convert = PANELGRAB_CONVERT;
    if (convert.empty()) {
        GTEST_SKIP() << "ImageMagick's convert was not found when configuring";
    }
    ScratchFolder folder;
    std::string ppm = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const Rgb c = Colour(x, y);
            ppm += {static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b)};
        }
    }
    WriteFile(folder / "in.ppm", ppm);

    const struct {
        const char* arguments; // between the input and the output
        const char* output;
        PictureFileStatus status;
    } cases[] = {
        {"-depth 16", "PNG48:rgb16.png", PictureFileStatus::Ok},                      // 16 bits a channel
        {"-interlace PNG", "PNG24:interlaced.png", PictureFileStatus::Ok},            // Adam7
        {"-alpha set", "BMP:v5-bitfields.bmp", PictureFileStatus::Ok},                // V5 header, BGRA masks
        {"", "BMP3:plain.bmp", PictureFileStatus::Ok},                                // 24 bits, bottom-up
        {"-colors 8 -compress RLE", "BMP3:rle8.bmp", PictureFileStatus::Unsupported}, // 8-bit RLE
    };
    for (const auto& c : cases) {
        const std::string output = c.output;
        const std::string file = folder / output.substr(output.find(':') + 1);
        const std::string command = convert + " " + (folder / "in.ppm") + " " + c.arguments + " " +
                                    output.substr(0, output.find(':') + 1) + file;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        Picture picture;
        std::string error;
        ASSERT_EQ(Read(file, picture, error), c.status) << c.output << ": " << error;
        if (c.status == PictureFileStatus::Ok) {
            ExpectPicture(picture, Colour, c.output);
        }
    }
}

// A BMP file written field by field, its pixels from Colour().
struct BmpLayout {
    int32_t width = kWidth;
    int32_t height = kHeight; // negative: top-down
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t masks[3] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
    int64_t pixelOffset = -1; // -1: right after the headers
    std::size_t cut = 0;      // bytes taken off the end
    bool pixels = true;       // false: the headers only
};

std::string HandMadeBmp(const BmpLayout& layout) {
    std::string b;
    const auto put = [&b](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            b.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
        }
    };
    const bool masks = layout.compression == 3;
    const uint32_t headers = 14 + layout.headerSize + (masks && layout.headerSize == 40 ? 12 : 0);
    const uint32_t offset = layout.pixelOffset < 0 ? headers : static_cast<uint32_t>(layout.pixelOffset);
    const int32_t rows = layout.height < 0 ? -layout.height : layout.height;
    const uint32_t bytesPerPixel = layout.bitCount / 8;
    const uint32_t rowBytes = (static_cast<uint32_t>(layout.width) * layout.bitCount + 31) / 32 * 4;
    b += "BM";
    put(offset + rowBytes * static_cast<uint32_t>(rows), 4);
    put(0, 4);
    put(offset, 4);
    put(layout.headerSize, 4);
    put(static_cast<uint32_t>(layout.width), 4);
    put(static_cast<uint32_t>(layout.height), 4);
    put(1, 2);
    put(layout.bitCount, 2);
    put(layout.compression, 4);
    put(rowBytes * static_cast<uint32_t>(rows), 4);
    b.resize(14 + 40, '\0');
    if (masks) {
        for (uint32_t mask : layout.masks) {
            put(mask, 4);
        }
    }
    b.resize(std::max<std::size_t>(b.size(), headers), '\0');
    b.resize(std::max<std::size_t>(b.size(), offset), '\0');
    for (int32_t row = 0; row < rows && bytesPerPixel >= 3 && layout.pixels; ++row) {
        const int32_t y = layout.height < 0 ? row : rows - 1 - row;
        std::string line;
        for (int32_t x = 0; x < layout.width; ++x) {
            const Rgb c = Colour(x, y);
            line += {static_cast<char>(c.b), static_cast<char>(c.g), static_cast<char>(c.r)};
            line.append(bytesPerPixel - 3, '\x7f');
        }
        line.resize(rowBytes, '\0');
        b += line;
    }
    b.resize(b.size() - std::min(layout.cut, b.size()));
    return b;
}

TEST(PictureFileReader, BmpVariantsAndRefusals) {
    const struct {
        const char* what;
        BmpLayout layout;
        PictureFileStatus status;
        const char* message; // part of the error
    } cases[] = {
        {"24-bit bottom-up", {}, PictureFileStatus::Ok, ""},
        {"24-bit top-down", {.height = -kHeight}, PictureFileStatus::Ok, ""},
        {"32-bit bottom-up", {.bitCount = 32}, PictureFileStatus::Ok, ""},
        {"32-bit top-down", {.height = -kHeight, .bitCount = 32}, PictureFileStatus::Ok, ""},
        {"32-bit bit fields", {.bitCount = 32, .compression = 3}, PictureFileStatus::Ok, ""},
        {"V4 header", {.bitCount = 32, .compression = 3, .headerSize = 108}, PictureFileStatus::Ok, ""},
        {"last row without padding", {.cut = 1}, PictureFileStatus::Ok, ""},
        {"gap before the pixels", {.pixelOffset = 200}, PictureFileStatus::Ok, ""},
        {"RGB masks swapped",
         {.bitCount = 32, .compression = 3, .masks = {0xFFu, 0xFF00u, 0xFF0000u}},
         PictureFileStatus::Unsupported,
         "unusual channel masks"},
        {"16 bits", {.bitCount = 16}, PictureFileStatus::Unsupported, "this one has 16 bits"},
        {"RLE", {.compression = 1}, PictureFileStatus::Unsupported, "compressed"},
        {"OS/2 header", {.headerSize = 12}, PictureFileStatus::Unsupported, "header of 12 bytes"},
        {"cut short", {.cut = 40}, PictureFileStatus::Damaged, "cut short"},
        {"no width", {.width = 0}, PictureFileStatus::Damaged, "no pixels"},
        {"no height", {.height = 0}, PictureFileStatus::Damaged, "no pixels"},
        {"pixels over the header", {.pixelOffset = 20}, PictureFileStatus::Damaged, "overlap"},
        {"huge",
         {.width = 100000, .height = 100000, .pixels = false},
         PictureFileStatus::TooLarge,
         "too large"},
        {"tall and wide",
         {.width = 8192, .height = -8192, .pixels = false},
         PictureFileStatus::TooLarge,
         "too large"},
        {"within the limits but no pixels",
         {.width = 4096, .height = 4096, .pixels = false},
         PictureFileStatus::Damaged,
         "cut short"},
    };
    for (const auto& c : cases) {
        const std::string bytes = HandMadeBmp(c.layout);
        Picture picture;
        std::string error;
        const PictureFileStatus status = Decode(bytes, "hand.bmp", picture, error);
        EXPECT_EQ(status, c.status) << c.what << ": " << error;
        if (c.status == PictureFileStatus::Ok) {
            ExpectPicture(picture, Colour, c.what);
        } else {
            EXPECT_TRUE(error.starts_with("hand.bmp: ")) << error;
            EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
            EXPECT_TRUE(picture.empty());
        }
    }
}

TEST(PictureFileReader, FilesThatAreNoPicturesNameTheFileAndTheReason) {
    ScratchFolder folder;
    const std::string signature = "\x89PNG\r\n\x1a\n";
    WriteFile(folder / "empty.png", "");
    WriteFile(folder / "text.png", "hello, this is not a picture\n");
    WriteFile(folder / "signature.png", signature);
    WriteFile(folder / "no-ihdr.png", signature + std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12));
    WriteFile(folder / "bm.bmp", "BM");
    fs::create_directories(folder / "folder.png");

    const struct {
        std::string file;
        PictureFileStatus status;
        const char* message;
    } cases[] = {
        {"missing.png", PictureFileStatus::CannotRead, "cannot read it: No such file or directory"},
        {"folder.png", PictureFileStatus::CannotRead, "cannot read it: Is a directory"},
        {"empty.png", PictureFileStatus::UnknownFormat, "the file is empty"},
        {"text.png", PictureFileStatus::UnknownFormat, "neither a BMP nor a PNG picture"},
        {"signature.png", PictureFileStatus::Damaged, "damaged PNG file: the file ends early"},
        {"no-ihdr.png", PictureFileStatus::Damaged, "damaged PNG file"},
        {"bm.bmp", PictureFileStatus::Damaged, "cut short"},
    };
    for (const auto& c : cases) {
        Picture picture;
        std::string error;
        EXPECT_EQ(Read(folder / c.file, picture, error), c.status) << c.file << ": " << error;
        EXPECT_EQ(error.rfind(folder / c.file + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

} // namespace
} // namespace panelgrab
