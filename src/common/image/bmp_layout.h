#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/image/picture.h"
#include "common/image/picture_file_status.h"

namespace panelgrab {

// The BMP compression methods this reader knows.
enum BmpCompression : uint32_t {
    kBmpRgb = 0,
    kBmpRle8 = 1,
    kBmpRle4 = 2,
    kBmpBitfields = 3,
    kBmpAlphaBitfields = 6,
};

// What a BMP file's headers say about its pixels, checked against the file's size.
struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0; // rows, whichever way they run
    bool topDown = false;
    uint16_t bitCount = 0;
    uint32_t compression = kBmpRgb;
    uint64_t pixelOffset = 0;
    uint64_t rowBytes = 0;           // an uncompressed row with its padding
    std::array<uint32_t, 3> masks{}; // red, green, blue bits of a 16-, 24- or 32-bit pixel
    std::vector<Rgb> palette;        // 2^bitCount entries for indexed pictures, black past the file's own
};

// Reads the file and info headers (the OS/2 BITMAPCOREHEADER, the Windows BITMAPINFOHEADER and its
// successors up to V5), the masks and the palette. Ok, or the reason in `error`. The uncompressed
// rows are known to be in the file on Ok; compressed ones are checked as they are expanded.
PictureFileStatus ReadBmpLayout(std::span<const uint8_t> bytes, BmpLayout& layout, std::string& error);

} // namespace panelgrab
