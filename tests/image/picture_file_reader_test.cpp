// The BMP and PNG readers against files written by other programs (Pillow, ImageMagick) and by
// hand, and the errors for files they refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/image/picture_file_reader.h"
#include "image/painted_picture.h"
#include "support/scratch_folder.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;
using test::ScratchFolder;
using test::WriteFile;

constexpr int32_t kWidth = 13;
constexpr int32_t kHeight = 7;

// The formulas of write_reference_pictures.py (Colour, Grey) and of the other pictures here.
Rgb Colour(int32_t x, int32_t y) {
    return {static_cast<uint8_t>((x * 37 + y * 11) % 256), static_cast<uint8_t>((x * 5 + y * 53) % 256),
            static_cast<uint8_t>((x * 97 + y * 3 + 128) % 256)};
}
Rgb Grey(int32_t x, int32_t y) {
    const auto v = static_cast<uint8_t>((x * 19 + y * 31) % 256);
    return {v, v, v};
}
Rgb PaletteEntry(uint32_t i) {
    return {static_cast<uint8_t>(i * 7 % 256), static_cast<uint8_t>(i * 13 % 256),
            static_cast<uint8_t>(i * 29 % 256)};
}

// Ten colours in diagonal bands, few enough for a 4-bit palette.
Rgb Few(int32_t x, int32_t y) {
    const auto v = static_cast<uint8_t>((x / 3 + y) % 10 * 28);
    return {v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(v * 7)};
}
using Formula = std::function<Rgb(int32_t, int32_t)>;

void WritePpm(const std::string& path, const Formula& formula) {
    const Picture picture = test::Painted(kWidth, kHeight, formula);
    const auto* rgb = reinterpret_cast<const char*>(picture.Row(0));
    WriteFile(path, "P6\n13 7\n255\n" + std::string(rgb, 3 * kWidth * kHeight));
}

PictureFileStatus Decode(const std::string& bytes, const std::string& name, Picture& picture,
                         std::string& error) {
    return PictureFileReader::Decode({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, name,
                                     picture, error);
}

// The file reads as the picture the formula paints, each channel within `tolerance`.
void ExpectReadsAs(const std::string& path, const Formula& formula, int tolerance = 0) {
    Picture picture;
    std::string error;
    ASSERT_EQ(PictureFileReader::Read(path, picture, error), PictureFileStatus::Ok) << path << ": " << error;
    ASSERT_EQ(std::pair(picture.width(), picture.height()), std::pair(kWidth, kHeight)) << path;
    const Picture expected = test::Painted(kWidth, kHeight, formula);
    int farthest = 0;
    for (int32_t i = 0; i < 3 * kWidth * kHeight; ++i) {
        farthest = std::max(farthest, std::abs(picture.Row(0)[i] - expected.Row(0)[i]));
    }
    EXPECT_LE(farthest, tolerance) << path;
}

// A BMP file written field by field: pixels from Colour() through the masks (16, 24 and 32 bits;
// the default ones make 24 bits blue, green, red), or as indices (x + 13y) modulo the palette of
// PaletteEntry()s (1, 4 and 8 bits).
struct HandMade {
    int32_t width = kWidth;
    int32_t height = kHeight; // negative: top-down
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40; // 12: the OS/2 header, its palette of 3-byte entries
    std::vector<uint32_t> masks = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
    int64_t pixelOffset = -1;    // -1: right after the headers and the palette
    std::size_t cut = 0;         // bytes taken off the end
    bool pixels = true;          // false: the headers only
    uint32_t paletteEntries = 0; // 0: as many as the bits can index
};

const std::vector<uint32_t> kRgb565 = {0xF800u, 0x07E0u, 0x001Fu};
const std::vector<uint32_t> kRgb555 = {0x7C00u, 0x03E0u, 0x001Fu};

uint32_t IndexAt(int32_t x, int32_t y, uint16_t bitCount) {
    return static_cast<uint32_t>(x + 13 * y) % (1u << bitCount);
}

// A channel in the bits of its mask, and back as a reader that stretches to 0..255 must give it.
uint32_t Packed(uint8_t value, uint32_t mask) {
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    return (bits >= 8 ? uint32_t{value} << (bits - 8) : uint32_t{value} >> (8 - bits)) << shift;
}
uint8_t Unpacked(uint8_t value, uint32_t mask) {
    const int bits = std::popcount(mask);
    if (bits >= 8) {
        return value;
    }
    const double top = (1 << bits) - 1;
    return static_cast<uint8_t>(std::lround((value >> (8 - bits)) * 255 / top));
}

std::string PixelRow(const HandMade& m, int32_t y, uint32_t rowBytes) {
    std::string line(rowBytes, '\0');
    for (int32_t x = 0; x < m.width; ++x) {
        const Rgb c = Colour(x, y);
        if (m.bitCount <= 8) {
            const uint32_t bit = static_cast<uint32_t>(x) * m.bitCount;
            line[bit / 8] =
                static_cast<char>(line[bit / 8] | IndexAt(x, y, m.bitCount) << (8 - m.bitCount - bit % 8));
        } else { // through the masks, low byte first: blue, green, red with the default ones
            const uint32_t value =
                Packed(c.r, m.masks[0]) | Packed(c.g, m.masks[1]) | Packed(c.b, m.masks[2]);
            for (uint32_t i = 0; i < m.bitCount / 8u; ++i) {
                line[static_cast<std::size_t>(x) * (m.bitCount / 8) + i] =
                    static_cast<char>(value >> (8 * i));
            }
        }
    }
    return line;
}

std::string HandMadeBmp(const HandMade& m) {
    const bool core = m.headerSize == 12;
    const bool masks = m.compression == 3 && m.headerSize == 40;
    const uint32_t entries =
        m.bitCount > 8 ? 0 : (m.paletteEntries > 0 ? m.paletteEntries : 1u << m.bitCount);
    const uint32_t headers = 14 + m.headerSize + (masks ? 12 : 0) + entries * (core ? 3 : 4);
    const uint32_t offset = m.pixelOffset < 0 ? headers : static_cast<uint32_t>(m.pixelOffset);
    const int32_t rows = m.height < 0 ? -m.height : m.height;
    const uint32_t rowBytes = (static_cast<uint32_t>(m.width) * m.bitCount + 31) / 32 * 4;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(rows);
    // The fields as (value, bytes): "BM" and the file header, then the OS/2 or the Windows header.
    const int side = core ? 2 : 4;
    const auto width = static_cast<uint32_t>(m.width);
    const auto height = static_cast<uint32_t>(m.height);
    std::vector<std::pair<uint64_t, int>> fields = {
        {0x4D42, 2},   {offset + imageBytes, 4}, {0, 4}, {offset, 4},    {m.headerSize, 4},
        {width, side}, {height, side},           {1, 2}, {m.bitCount, 2}};
    if (!core) {
        fields.insert(fields.end(),
                      {{m.compression, 4}, {imageBytes, 4}, {0, 8}, {m.paletteEntries, 4}, {0, 4}});
        for (uint32_t mask : m.compression == 3 ? m.masks : std::vector<uint32_t>{}) {
            fields.emplace_back(mask, 4);
        }
    }
    std::string b;
    for (const auto& [value, bytes] : fields) {
        for (int i = 0; i < bytes; ++i) {
            b.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
        }
    }
    b.resize(std::max<std::size_t>(b.size(), 14 + m.headerSize + (masks ? 12 : 0)), '\0');
    for (uint32_t i = 0; i < entries; ++i) {
        const Rgb c = PaletteEntry(i);
        b += {static_cast<char>(c.b), static_cast<char>(c.g), static_cast<char>(c.r)};
        b.append(core ? 0 : 1, '\0');
    }
    b.resize(std::max<std::size_t>(b.size(), offset), '\0');
    for (int32_t row = 0; row < rows && m.pixels; ++row) {
        b += PixelRow(m, m.height < 0 ? row : rows - 1 - row, rowBytes);
    }
    b.resize(b.size() - std::min(m.cut, b.size()));
    return b;
}

// What a correct reader makes of HandMadeBmp(m).
Formula Expected(const HandMade& m) {
    if (m.bitCount <= 8) {
        return [m](int32_t x, int32_t y) {
            const uint32_t i = IndexAt(x, y, m.bitCount);
            return m.paletteEntries == 0 || i < m.paletteEntries ? PaletteEntry(i) : Rgb{};
        };
    }
    return [m](int32_t x, int32_t y) {
        const Rgb c = Colour(x, y);
        return Rgb{Unpacked(c.r, m.masks[0]), Unpacked(c.g, m.masks[1]), Unpacked(c.b, m.masks[2])};
    };
}

// Files as other programs write them. Every kind of PNG file is the libpng oracle's:
// PngDecoder.SamePixelsAsLibpngForEveryColourTypeDepthInterlaceAndTransparency.
TEST(PictureFileReader, ReadsWhatPillowWrites) {
    const std::string python = PANELGRAB_PIL_PYTHON;
    if (python.empty()) {
        GTEST_SKIP() << "python3 with Pillow (python3-pil) was not found when configuring";
    }
    ScratchFolder folder;
    const std::string script = std::string(PANELGRAB_TESTS_DIR) + "/image/write_reference_pictures.py";
    ASSERT_EQ(std::system((python + " " + script + " " + (folder / "")).c_str()), 0);
    // Files of the kinds the other programs' files here leave out: Pillow's 32-bit pixels without
    // masks, its palette of greys, and a PNG file named .bmp.
    const std::pair<const char*, Formula> files[] = {
        {"rgba32.bmp", Colour}, {"grey8.bmp", Grey}, {"png-named.bmp", Colour}};
    for (const auto& [file, formula] : files) {
        ExpectReadsAs(folder / file, formula);
    }
}

TEST(PictureFileReader, ReadsWhatImageMagickWrites) {
    const std::string convert = PANELGRAB_CONVERT;
    if (convert.empty()) {
        GTEST_SKIP() << "ImageMagick's convert was not found when configuring";
    }
    ScratchFolder folder;
    WritePpm(folder / "in.ppm", Colour);
    WritePpm(folder / "few.ppm", Few);
    // The kinds ImageMagick writes: its BMP3 palette pictures are RLE8 unless told otherwise, BMP2
    // is the OS/2 header, BMP the V5 one. Each case: the input and what comes before the output; the
    // output; its pixels; how far a channel may be from them (16-bit pixels: within a 5-bit step).
    const std::tuple<const char*, const char*, Formula, int> cases[] = {
        {"in.ppm -alpha set", "BMP:v5-bitfields.bmp", Colour, 0},                  // V5 header, BGRA masks
        {"in.ppm", "BMP:v5.bmp", Colour, 0},                                       // V5 header, 24 bits
        {"in.ppm", "BMP3:plain.bmp", Colour, 0},                                   // 24 bits, bottom-up
        {"in.ppm", "BMP2:os2.bmp", Colour, 0},                                     // OS/2 header, 24 bits
        {"in.ppm -type Palette", "BMP3:rle8.bmp", Colour, 0},                      // RLE8
        {"in.ppm -type Palette -compress None", "BMP3:palette8.bmp", Colour, 0},   // 8-bit palette
        {"few.ppm -type Palette", "BMP3:palette4.bmp", Few, 0},                    // 4-bit palette
        {"few.ppm -type Palette", "BMP2:os2-palette4.bmp", Few, 0},                // OS/2, 3-byte entries
        {"in.ppm -define bmp:subtype=RGB565", "BMP:rgb565.bmp", Colour, 255 / 31}, // bit fields
        {"in.ppm -define bmp:subtype=RGB555", "BMP:rgb555.bmp", Colour, 255 / 31},
    };
    for (const auto& [arguments, kindAndName, formula, tolerance] : cases) {
        const std::string output = kindAndName;
        const std::string file = folder / output.substr(output.find(':') + 1);
        const std::string command =
            convert + " " + (folder / "") + arguments + " " + output.substr(0, output.find(':') + 1) + file;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        ExpectReadsAs(file, formula, tolerance);
    }
}

TEST(PictureFileReader, BmpVariantsAndRefusals) {
    using enum PictureFileStatus;
    const struct {
        const char* what;
        HandMade layout;
        PictureFileStatus status = Ok;
        const char* message = ""; // part of the error
    } cases[] = {
        {"24-bit bottom-up", {}},
        {"24-bit top-down", {.height = -kHeight}},
        {"32-bit bottom-up", {.bitCount = 32}},
        {"32-bit bit fields", {.bitCount = 32, .compression = 3}},
        {"32-bit, blue mask first", {.bitCount = 32, .compression = 3, .masks = {0xFFu, 0xFF00u, 0xFF0000u}}},
        {"10-bit channels", {.bitCount = 32, .compression = 3, .masks = {0x3FF00000u, 0xFFC00u, 0x3FFu}}},
        {"V4 header", {.bitCount = 32, .compression = 3, .headerSize = 108}},
        {"V5 header, 5-6-5", {.bitCount = 16, .compression = 3, .headerSize = 124, .masks = kRgb565}},
        {"16-bit 5-5-5 by default", {.bitCount = 16, .masks = kRgb555}},
        {"16-bit 5-6-5 bit fields", {.bitCount = 16, .compression = 3, .masks = kRgb565}},
        {"8-bit palette", {.bitCount = 8}},
        {"8-bit, a short palette", {.bitCount = 8, .paletteEntries = 20}},
        {"4-bit palette", {.bitCount = 4}},
        {"1-bit palette", {.bitCount = 1}},
        {"OS/2 header, 24 bits", {.headerSize = 12}},
        {"OS/2 header, 8-bit palette", {.bitCount = 8, .headerSize = 12}},
        {"last row without padding", {.cut = 1}},
        {"gap before the pixels", {.pixelOffset = 200}},
        {"split mask",
         {.bitCount = 32, .compression = 3, .masks = {0xF0F00000u, 0xFF00u, 0xFFu}},
         Unsupported,
         "one run"},
        {"24 bits run-length encoded", {.compression = 1}, Unsupported, "compression 1"},
        {"RLE8 top-down", {.height = -kHeight, .bitCount = 8, .compression = 1}, Damaged, "run top-down"},
        {"JPEG inside", {.compression = 4}, Unsupported, "compression 4"},
        {"2 bits", {.bitCount = 2}, Unsupported, "2 bits a pixel"},
        {"OS/2 2.x header", {.headerSize = 64}, Unsupported, "header of 64 bytes"},
        {"cut short", {.cut = 40}, Damaged, "cut short"},
        {"palette cut short", {.bitCount = 8, .cut = 960}, Damaged, "cut short in its palette"},
        {"no width", {.width = 0}, Damaged, "no pixels"},
        {"no height", {.height = 0}, Damaged, "no pixels"},
        {"pixels over the header", {.pixelOffset = 20}, Damaged, "overlap"},
        {"huge", {.width = 100000, .height = 100000, .pixels = false}, TooLarge, "too large"},
        {"tall and wide", {.width = 8192, .height = -8192, .pixels = false}, TooLarge, "too large"},
        {"4096x4096, no pixels", {.width = 4096, .height = 4096, .pixels = false}, Damaged, "cut short"},
    };
    for (const auto& c : cases) {
        const std::string bytes = HandMadeBmp(c.layout);
        Picture picture;
        std::string error;
        const PictureFileStatus status = Decode(bytes, "hand.bmp", picture, error);
        EXPECT_EQ(status, c.status) << c.what << ": " << error;
        if (c.status == Ok) {
            EXPECT_TRUE(picture == test::Painted(kWidth, kHeight, Expected(c.layout))) << c.what;
        } else {
            EXPECT_TRUE(error.starts_with("hand.bmp: ")) << error;
            EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
            EXPECT_TRUE(picture.empty());
        }
    }
}

// A 4x3 palette picture of run-length encoded pixels: the runs, absolute runs, deltas and line ends
// RLE8 and RLE4 know, each row in the file bottom-up. Index i shows PaletteEntry(i).
std::string RleBmp(uint32_t compression, const std::string& data) {
    const uint16_t bits = compression == 1 ? 8 : 4;
    std::string b =
        HandMadeBmp({.width = 4, .height = 3, .bitCount = bits, .compression = 0, .pixels = false});
    b[30] = static_cast<char>(compression);
    return b + data;
}

// Bytes written as hexadecimal pairs: "04 01 00".
std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 3) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16)));
    }
    return bytes;
}

TEST(PictureFileReader, RunLengthEncodedBmp) {
    // What each shows, its compression, its bytes in hexadecimal, and the palette index of each pixel as a
    // hexadecimal digit, rows top first (none: refused as damaged).
    const std::tuple<const char*, uint32_t, const char*, std::string> cases[] = {
        {"RLE8 runs", 1, "04 01 00 00 04 02 00 00 04 03 00 01", "3333 2222 1111"},
        // An absolute run with its padding byte, then a run.
        {"RLE8 absolute run", 1, "00 03 05 06 07 00 01 08 00 00 00 01", "0000 0000 5678"},
        // Pixels skipped by a delta keep index 0.
        {"RLE8 delta", 1, "01 09 00 02 02 01 01 0A 00 01", "0000 000A 9000"},
        {"RLE8 runs past the right edge are cut there", 1, "09 04 00 00 02 05 00 01", "0000 5500 4444"},
        {"RLE8 ends by filling the last row without an end mark", 1, "04 01 00 00 04 01 00 00 04 01 00 00",
         "1111 1111 1111"},
        {"RLE4 runs alternate their two indices", 2, "04 12 00 00 03 34 00 01", "0000 3430 1212"},
        {"RLE4 absolute run of three, padded to a word", 2, "00 03 56 70 01 99 00 01", "0000 0000 5679"},
        {"RLE8 cut before its end", 1, "04 01 00 00", ""},
        {"RLE8 absolute run cut short", 1, "00 05 01 02", ""},
        {"RLE4 delta cut short", 2, "00 02 01", ""},
    };
    for (const auto& [what, compression, data, indices] : cases) {
        Picture picture;
        std::string error;
        const PictureFileStatus status =
            Decode(RleBmp(compression, FromHex(data)), "rle.bmp", picture, error);
        if (indices.empty()) {
            EXPECT_EQ(status, PictureFileStatus::Damaged) << what;
            EXPECT_NE(error.find("cut short"), std::string::npos) << what << ": " << error;
            continue;
        }
        EXPECT_EQ(status, PictureFileStatus::Ok) << what << ": " << error;
        const auto entry = [&digits = indices](int32_t x, int32_t y) {
            return PaletteEntry(static_cast<uint32_t>(std::stoi(digits.substr(5 * y + x, 1), nullptr, 16)));
        };
        EXPECT_TRUE(picture == test::Painted(4, 3, entry)) << what;
    }
}

TEST(PictureFileReader, FilesThatAreNoPicturesNameTheFileAndTheReason) {
    ScratchFolder folder;
    WriteFile(folder / "empty.png", "");
    WriteFile(folder / "text.png", "hello, this is not a picture\n");
    WriteFile(folder / "signature.png", "\x89PNG\r\n\x1a\n");
    fs::create_directories(folder / "folder.png");

    // A file, the status and part of the error.
    const std::tuple<std::string, PictureFileStatus, const char*> cases[] = {
        {"missing.png", PictureFileStatus::CannotRead, "cannot read it: No such file or directory"},
        {"folder.png", PictureFileStatus::CannotRead, "cannot read it: Is a directory"},
        {"empty.png", PictureFileStatus::UnknownFormat, "the file is empty"},
        {"text.png", PictureFileStatus::UnknownFormat, "neither a BMP nor a PNG picture"},
        {"signature.png", PictureFileStatus::Damaged, "damaged PNG file: the file ends early"},
    };
    for (const auto& [file, status, message] : cases) {
        Picture picture;
        std::string error;
        EXPECT_EQ(PictureFileReader::Read(folder / file, picture, error), status) << file << ": " << error;
        EXPECT_EQ(error.rfind(folder / file + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

} // namespace
} // namespace panelgrab
