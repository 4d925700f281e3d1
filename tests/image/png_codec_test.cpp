// The PNG codec against libpng: the decoder gives the same pixels for every colour type, bit depth,
// interlace and transparency libpng writes (a PngSuite of our own) and the same refusals for broken
// files; the encoder writes the very bytes libpng's simplified writer makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <png.h>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>
#include <zlib.h>

#include "common/image/png_decoder.h"
#include "common/image/zlib_png_encoder.h"
#include "image/painted_picture.h"
#include "support/libpng_oracle.h"

namespace panelgrab {
namespace {

using Bytes = std::vector<uint8_t>;

struct Layout {
    int colourType;
    int bitDepth;
    bool interlaced;
    uint32_t width = 13;
    uint32_t height = 11;
    int paletteSize = 256; // fewer: some indices point past the palette
};

void Append(png_structp png, png_bytep data, std::size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

// A file written by libpng's own writer, with all filters allowed and a tRNS chunk where the
// colour type takes one (grey, RGB and palette).
Bytes WriteWithLibpng(const Layout& layout, uint32_t seed) {
    Bytes file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng cannot write the test file";
        return {};
    }
    png_set_write_fn(png, &file, Append, nullptr);
    png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    // Reproducible noise, so that every sample value and every filter turns up.
    std::minstd_rand engine(seed);
    const auto noise = [&engine] { return static_cast<uint8_t>(engine() >> 8); };
    std::vector<png_color> palette(static_cast<std::size_t>(layout.paletteSize));
    for (png_color& entry : palette) {
        entry = {noise(), noise(), noise()};
    }
    png_byte alphas[4] = {0, 80, 160, 255};
    png_color_16 transparent{.index = 0, .red = 2, .green = 3, .blue = 0, .gray = 1};
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, palette.data(), layout.paletteSize);
        png_set_tRNS(png, info, alphas, std::min(4, layout.paletteSize), nullptr);
        png_set_check_for_invalid_index(png, 0);
    } else if (layout.colourType == PNG_COLOR_TYPE_GRAY || layout.colourType == PNG_COLOR_TYPE_RGB) {
        png_set_tRNS(png, info, nullptr, 0, &transparent);
    }
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    const std::size_t rowBytes = (std::size_t{layout.width} * channels * layout.bitDepth + 7) / 8;
    std::vector<Bytes> rows(layout.height, Bytes(rowBytes));
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows) {
        std::generate(row.begin(), row.end(), noise);
        pointers.push_back(row.data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

struct Decoded {
    PictureFileStatus status;
    Picture picture;
    std::string error;
};

// Decoded by `decoder`: ours, DecodePngPicture, or libpng's, DecodePngWithLibpng.
template <typename Decoder> Decoded DecodeWith(Decoder decoder, const Bytes& file) {
    Decoded d;
    d.status = decoder(file, d.picture, d.error);
    return d;
}

TEST(PngDecoder, SamePixelsAsLibpngForEveryColourTypeDepthInterlaceAndTransparency) {
    // Each colour type with its bit depths.
    const std::pair<int, std::vector<int>> types[] = {
        {PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}}, {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
        {PNG_COLOR_TYPE_RGB, {8, 16}},           {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},
        {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}},
    };
    // Sizes where Adam7 passes are empty or one pixel wide, and a palette shorter than the indices.
    const Layout shapes[] = {
        {0, 0, false}, {0, 0, false, 1, 1}, {0, 0, false, 3, 2}, {0, 0, false, 33, 9, 5}};
    int compared = 0;
    for (const auto& [colourType, depths] : types) {
        for (const int depth : depths) {
            for (const bool interlaced : {false, true}) {
                for (const Layout& shape : shapes) {
                    Layout layout = shape;
                    layout.colourType = colourType;
                    layout.bitDepth = depth;
                    layout.interlaced = interlaced;
                    layout.paletteSize = std::min(layout.paletteSize, 1 << std::min(depth, 8));
                    const Bytes file = WriteWithLibpng(layout, static_cast<uint32_t>(compared));
                    SCOPED_TRACE(testing::Message() << "colour type " << colourType << ", " << depth
                                                    << " bits" << (interlaced ? ", Adam7, " : ", ")
                                                    << layout.width << "x" << layout.height);
                    const Decoded reference = DecodeWith(DecodePngWithLibpng, file);
                    const Decoded ours = DecodeWith(DecodePngPicture, file);
                    ASSERT_EQ(reference.status, PictureFileStatus::Ok) << reference.error;
                    EXPECT_TRUE(ours.status == PictureFileStatus::Ok && ours.picture == reference.picture)
                        << ours.error;
                    ++compared;
                }
            }
        }
    }
    EXPECT_EQ(compared, 15 * 2 * 4);
}

// A PNG file put together chunk by chunk, so that each can be broken on its own.
struct Chunk {
    std::string type;
    Bytes data;
    bool badCrc = false;
};

void Put32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

Bytes Assemble(const std::vector<Chunk>& chunks) {
    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Chunk& c : chunks) {
        Put32(file, static_cast<uint32_t>(c.data.size()));
        const std::size_t start = file.size();
        file.insert(file.end(), c.type.begin(), c.type.end());
        file.insert(file.end(), c.data.begin(), c.data.end());
        const auto crc =
            static_cast<uint32_t>(crc32(0, &file[start], static_cast<uInt>(file.size() - start)));
        Put32(file, c.badCrc ? ~crc : crc);
    }
    return file;
}

Bytes Header(uint32_t width, uint32_t height, uint8_t depth = 8, uint8_t colourType = 2,
             uint8_t interlace = 0) {
    Bytes h;
    Put32(h, width);
    Put32(h, height);
    h.insert(h.end(), {depth, colourType, 0, 0, interlace});
    return h;
}

Bytes Deflate(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    EXPECT_EQ(compress(out.data(), &size, data.data(), static_cast<uLong>(data.size())), Z_OK);
    out.resize(size);
    return out;
}

// 4x3 RGB scanlines (filter byte 0 each) for a 4x3 8-bit RGB picture.
Bytes Scanlines(std::size_t rows = 3, uint8_t filter = 0) {
    Bytes s;
    for (std::size_t y = 0; y < rows; ++y) {
        s.push_back(filter);
        for (int i = 0; i < 12; ++i) {
            s.push_back(static_cast<uint8_t>(y * 40 + i));
        }
    }
    return s;
}

// The usual header, image data and end.
std::vector<Chunk> Plain(const Bytes& ihdr, const Bytes& idat) {
    return {{"IHDR", ihdr}, {"IDAT", idat}, {"IEND", {}}};
}

TEST(PngDecoder, AcceptsAndRefusesFilesAsLibpngDoes) {
    using enum PictureFileStatus;
    const Bytes ihdr = Header(4, 3);
    const Bytes idat = Deflate(Scanlines());
    Bytes trailing = idat;
    trailing.push_back(0);
    const Bytes bomb = Deflate(Bytes(64u << 20, 0)); // 64 MiB of zeros for a 4x3 picture
    const Bytes paletteIdat = Deflate(Bytes(3 * (1 + 4), 0));
    const Chunk head{"IHDR", ihdr};
    const Chunk data{"IDAT", idat};
    const Chunk end{"IEND", {}};
    const Chunk text{"tEXt", {'a', 0, 'b'}};
    const Chunk firstPiece{"IDAT", {idat.begin(), idat.begin() + 5}};
    const Chunk restPiece{"IDAT", {idat.begin() + 5, idat.end()}};
    const Chunk palette{"PLTE", {1, 2, 3}};
    const Chunk paletteHead{"IHDR", Header(4, 3, 8, 3)};
    const Chunk paletteData{"IDAT", paletteIdat};
    // What each shows, its chunks, and what both readers make of them.
    const std::tuple<const char*, std::vector<Chunk>, PictureFileStatus> cases[] = {
        {"whole", Plain(ihdr, idat), Ok},
        {"image data in pieces", {head, firstPiece, {"IDAT", {}}, restPiece, text, end}, Ok},
        // An ancillary chunk with a bad CRC is skipped, as libpng does.
        {"bad CRC on tEXt", {head, {"tEXt", text.data, true}, data, end}, Ok},
        {"bad CRC on IHDR", {{"IHDR", ihdr, true}, data, end}, Damaged},
        {"bad CRC on IDAT", {head, {"IDAT", idat, true}, end}, Damaged},
        {"IHDR too short", Plain({ihdr.begin(), ihdr.end() - 1}, idat), Damaged},
        {"bit depth 3", Plain(Header(4, 3, 3), idat), Damaged},
        {"RGB of 4 bits", Plain(Header(4, 3, 4), idat), Damaged},
        {"colour type 5", Plain(Header(4, 3, 8, 5), idat), Damaged},
        {"interlace method 2", Plain(Header(4, 3, 8, 2, 2), idat), Damaged},
        {"width 0", Plain(Header(0, 3), idat), Damaged},
        {"wider than a side may be", Plain(Header(16385, 1), idat), TooLarge},
        {"more pixels than allowed", Plain(Header(8192, 8192), idat), TooLarge},
        {"a large picture from a little data", Plain(Header(4096, 4096, 16, 6), idat), Damaged},
        {"inflate bomb", Plain(ihdr, bomb), Damaged},
        {"too little image data", Plain(ihdr, Deflate(Scanlines(2))), Damaged},
        {"stream cut short", Plain(ihdr, {idat.begin(), idat.end() - 4}), Damaged},
        {"bytes after the stream", Plain(ihdr, trailing), Damaged},
        {"unknown row filter", Plain(ihdr, Deflate(Scanlines(3, 5))), Damaged},
        {"no IDAT", {head, end}, Damaged},
        {"no IEND", {head, data}, Damaged},
        {"no IHDR", {data, end}, Damaged},
        {"palette picture without PLTE", Plain(Header(4, 3, 8, 3), idat), Damaged},
        {"unknown critical chunk", {head, {"ABCD", {}}, data, end}, Damaged},
        {"a colour picture's suggested palette", {head, palette, data, end}, Ok},
        {"a suggested palette after the image data (ignored)", {head, data, palette, end}, Ok},
        {"two palettes", {head, palette, palette, data, end}, Damaged},
        {"a palette picture's PLTE after its IDAT", {paletteHead, paletteData, palette, end}, Damaged},
        {"a palette picture's second palette after its image data (ignored)",
         {paletteHead, palette, paletteData, {"PLTE", {4, 5, 6}}, end},
         Ok},
    };
    for (const auto& [what, chunks, status] : cases) {
        const Bytes file = Assemble(chunks);
        const Decoded reference = DecodeWith(DecodePngWithLibpng, file);
        const Decoded ours = DecodeWith(DecodePngPicture, file);
        EXPECT_EQ(reference.status, status) << what << ": libpng: " << reference.error;
        EXPECT_EQ(ours.status, status) << what << ": " << ours.error;
        if (status == Ok) {
            EXPECT_TRUE(ours.picture == reference.picture) << what;
            continue;
        }
        const char* expected = status == TooLarge ? "too large" : "damaged PNG file: ";
        EXPECT_NE(ours.error.find(expected), std::string::npos) << what << ": " << ours.error;
        EXPECT_TRUE(ours.picture.empty()) << what;
    }

    // Cut anywhere, even just before the end of IEND, a file is refused by both.
    const Bytes whole = Assemble(Plain(ihdr, idat));
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_NE(DecodeWith(DecodePngWithLibpng, cut).status, PictureFileStatus::Ok)
            << "libpng, cut to " << length;
        const Decoded ours = DecodeWith(DecodePngPicture, cut);
        EXPECT_EQ(ours.status, length < 8 ? UnknownFormat : Damaged)
            << "cut to " << length << ": " << ours.error;
        EXPECT_TRUE(ours.picture.empty()) << "cut to " << length;
    }
}

using Painter = std::function<uint8_t(int x, int y, int channel)>;

Picture Painted(int width, int height, const Painter& paint) {
    return test::Painted(width, height, [&paint](int x, int y) {
        return Rgb{paint(x, y, 0), paint(x, y, 1), paint(x, y, 2)};
    });
}

uint8_t Speckle(int x, int y, int channel) {
    uint32_t v = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
                 static_cast<uint32_t>(channel) * 83492791u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    return static_cast<uint8_t>(v >> 24);
}

TEST(PngEncoder, SameBytesAsLibpngAndNoFileOfAnEmptyPicture) {
    // A name, the size, and the colours.
    const std::tuple<const char*, int, int, Painter> cases[] = {
        // Each filter wins somewhere: flat rows (None/Up), horizontal ramps (Sub), diagonal
        // gradients (Average, Paeth), noise (None); small pictures shrink the deflate window.
        {"one pixel", 1, 1, [](int, int, int) { return uint8_t{0x80}; }},
        {"black", 5, 3, [](int, int, int) { return uint8_t{0}; }},
        {"ramp", 40, 7, [](int x, int, int c) { return static_cast<uint8_t>(x * 6 + c); }},
        {"gradient", 64, 64,
         [](int x, int y, int c) { return static_cast<uint8_t>(x * 3 + y * 5 + c * 40); }},
        {"stripes", 176, 220,
         [](int, int y, int c) { return static_cast<uint8_t>((y / 4) % 2 ? 255 - c : c); }},
        {"noise", 176, 220, Speckle},
        {"noise, odd width", 97, 13, Speckle},
        {"checks and noise", 240, 320,
         [](int x, int y, int c) {
             return ((x / 8 + y / 8) % 2) ? Speckle(x, y, c) : static_cast<uint8_t>(c * 9);
         }},
    };
    for (const auto& [name, width, height, paint] : cases) {
        const Picture picture = Painted(width, height, paint);
        std::vector<uint8_t> expected;
        std::vector<uint8_t> actual;
        std::string error;
        ASSERT_TRUE(EncodePngWithLibpng(picture, expected, error)) << name << ": " << error;
        ASSERT_TRUE(EncodePngWithZlib(picture, actual, error)) << name << ": " << error;
        const auto parted = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
        EXPECT_TRUE(actual == expected) << name << ": sizes " << actual.size() << " and " << expected.size()
                                        << ", first difference at " << parted.first - actual.begin();
    }
    std::vector<uint8_t> png;
    std::string error;
    EXPECT_FALSE(EncodePngWithZlib(Picture(), png, error));
    EXPECT_EQ(error, "the picture is empty");
}

} // namespace
} // namespace panelgrab
