#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/image/picture.h"
#include "common/image/picture_file_status.h"

namespace panelgrab {

// What a PNG file's header says about its pixels.
struct PngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colourType = 0; // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
    bool interlaced = false;

    int Channels() const;
    int BitsPerPixel() const { return Channels() * bitDepth; }
};

// The chunks the decoder needs, taken from a whole file: the header, the palette (entries past the
// file's own are black, as libpng has them) and the pieces of the compressed image in file order.
struct PngChunks {
    PngHeader header;
    std::array<Rgb, 256> palette{};
    std::vector<std::span<const uint8_t>> imageData;
};

// Walks the chunks of a file that starts with the PNG signature, up to IEND: checks the CRC of
// every critical chunk, validates IHDR and PLTE and the order of IHDR, PLTE, IDAT and IEND (a PLTE
// after the image data is ignored, as libpng ignores it), and bounds the size as libpng does.
// Ancillary chunks are skipped (tRNS too: alpha is dropped anyway). Fills `chunks` and returns Ok,
// or says why not in `error`.
PictureFileStatus ReadPngChunks(std::span<const uint8_t> bytes, PngChunks& chunks, std::string& error);

} // namespace panelgrab
