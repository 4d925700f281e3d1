#include "common/image/png_scanlines.h"

#include <algorithm>

#include "common/image/png_filters.h"

namespace panelgrab {

namespace {

// Where each Adam7 pass starts and how far apart its pixels lie; a plain picture is one pass.
struct Pass {
    uint32_t x0, y0, dx, dy;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass kWhole = {0, 0, 1, 1};

std::span<const Pass> Passes(const PngHeader& header) {
    return header.interlaced ? std::span<const Pass>(kAdam7) : std::span<const Pass>(&kWhole, 1);
}

uint32_t PassSide(uint32_t side, uint32_t start, uint32_t step) {
    return side > start ? (side - start + step - 1) / step : 0;
}

std::size_t RowBytes(const PngHeader& header, uint32_t pixels) {
    return (std::size_t{pixels} * static_cast<std::size_t>(header.BitsPerPixel()) + 7) / 8;
}

// Undoes one row's filter; `prior` is the row above, unfiltered, or null on a pass's first row.
bool Unfilter(uint8_t filter, uint8_t* row, const uint8_t* prior, std::size_t size, std::size_t bpp) {
    if (filter >= kPngFilterCount) {
        return false;
    }
    if (filter == kPngNone) {
        return true;
    }
    for (std::size_t i = 0; i < size; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        const int up = prior != nullptr ? prior[i] : 0;
        const int upLeft = i >= bpp && prior != nullptr ? prior[i - bpp] : 0;
        row[i] =
            static_cast<uint8_t>(row[i] + PngPrediction(static_cast<PngFilter>(filter), left, up, upLeft));
    }
    return true;
}

// libpng's png_do_scale_16_to_8: the 16-bit value times 255/65535, rounded.
uint8_t Scale16(const uint8_t* sample) {
    int32_t value = sample[0];
    value += ((int32_t{sample[1]} - value + 128) * 65535) >> 24;
    return static_cast<uint8_t>(value);
}

// The `index`-th sample of a row, as 8 bits (palette indices and low grey depths unscaled).
uint8_t Sample(const uint8_t* row, std::size_t index, int depth) {
    switch (depth) {
    case 16:
        return Scale16(row + 2 * index);
    case 8:
        return row[index];
    default: {
        const std::size_t bit = index * static_cast<std::size_t>(depth);
        const int shift = 8 - depth - static_cast<int>(bit % 8);
        return static_cast<uint8_t>((row[bit / 8] >> shift) & ((1 << depth) - 1));
    }
    }
}

// Low grey depths stretched to 0..255 by repeating their bits, as png_set_expand_gray_1_2_4_to_8.
uint8_t StretchGrey(uint8_t value, int depth) {
    switch (depth) {
    case 1:
        return static_cast<uint8_t>(value * 0xFF);
    case 2:
        return static_cast<uint8_t>(value * 0x55);
    case 4:
        return static_cast<uint8_t>(value * 0x11);
    default:
        return value;
    }
}

Rgb PixelOf(const PngChunks& chunks, const uint8_t* row, uint32_t x) {
    const PngHeader& h = chunks.header;
    const std::size_t first = std::size_t{x} * static_cast<std::size_t>(h.Channels());
    if (h.colourType == 3) {
        return chunks.palette[Sample(row, first, h.bitDepth)];
    }
    if (h.colourType == 2 || h.colourType == 6) {
        return {Sample(row, first, h.bitDepth), Sample(row, first + 1, h.bitDepth),
                Sample(row, first + 2, h.bitDepth)};
    }
    const uint8_t grey = StretchGrey(Sample(row, first, h.bitDepth), h.bitDepth);
    return {grey, grey, grey};
}

} // namespace

std::size_t PngScanlineBytes(const PngHeader& header) {
    std::size_t total = 0;
    for (const Pass& pass : Passes(header)) {
        const uint32_t width = PassSide(header.width, pass.x0, pass.dx);
        const uint32_t height = PassSide(header.height, pass.y0, pass.dy);
        if (width > 0) {
            total += std::size_t{height} * (1 + RowBytes(header, width));
        }
    }
    return total;
}

bool UnfilterPngScanlines(const PngChunks& chunks, std::span<uint8_t> scanlines, Picture& picture,
                          std::string& error) {
    const PngHeader& header = chunks.header;
    const std::size_t bpp = std::max<std::size_t>(1, static_cast<std::size_t>(header.BitsPerPixel()) / 8);
    uint8_t* at = scanlines.data();
    for (const Pass& pass : Passes(header)) {
        const uint32_t width = PassSide(header.width, pass.x0, pass.dx);
        const uint32_t height = PassSide(header.height, pass.y0, pass.dy);
        if (width == 0) {
            continue;
        }
        const std::size_t rowBytes = RowBytes(header, width);
        const uint8_t* prior = nullptr;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = at + 1;
            if (!Unfilter(at[0], row, prior, rowBytes, bpp)) {
                error = "damaged PNG file: unknown row filter " + std::to_string(at[0]);
                return false;
            }
            const auto py = static_cast<int32_t>(pass.y0 + y * pass.dy);
            for (uint32_t x = 0; x < width; ++x) {
                picture.Set(static_cast<int32_t>(pass.x0 + x * pass.dx), py, PixelOf(chunks, row, x));
            }
            prior = row;
            at += 1 + rowBytes;
        }
    }
    return true;
}

} // namespace panelgrab
