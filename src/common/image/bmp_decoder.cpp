#include "common/image/bmp_decoder.h"

#include <bit>

#include "common/image/bmp_layout.h"
#include "common/image/bmp_rle.h"

namespace panelgrab {

namespace {

PictureFileStatus Refuse(PictureFileStatus status, std::string text, std::string& error) {
    error = std::move(text);
    return status;
}

// One channel of a pixel through its mask, as 8 bits.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    const int shift = std::countr_zero(mask);
    const uint32_t top = mask >> shift;
    const uint32_t value = (pixel & mask) >> shift;
    const int bits = std::popcount(top);
    if (bits >= 8) {
        return static_cast<uint8_t>(value >> (bits - 8));
    }
    return static_cast<uint8_t>((value * 255 + top / 2) / top);
}

// The `x`-th pixel of an uncompressed row, as its palette index or its packed value.
uint32_t PixelValue(const uint8_t* row, int32_t x, uint16_t bitCount) {
    const auto i = static_cast<std::size_t>(x);
    switch (bitCount) {
    case 1:
        return row[i / 8] >> (7 - i % 8) & 1u;
    case 4:
        return row[i / 2] >> (i % 2 == 0 ? 4 : 0) & 0x0Fu;
    case 8:
        return row[i];
    case 16:
        return uint32_t{row[2 * i]} | uint32_t{row[2 * i + 1]} << 8;
    case 24:
        return uint32_t{row[3 * i]} | uint32_t{row[3 * i + 1]} << 8 | uint32_t{row[3 * i + 2]} << 16;
    default:
        return uint32_t{row[4 * i]} | uint32_t{row[4 * i + 1]} << 8 | uint32_t{row[4 * i + 2]} << 16 |
               uint32_t{row[4 * i + 3]} << 24;
    }
}

Rgb ColourOf(uint32_t value, const BmpLayout& layout) {
    if (!layout.palette.empty()) {
        return layout.palette[value];
    }
    return {Channel(value, layout.masks[0]), Channel(value, layout.masks[1]),
            Channel(value, layout.masks[2])};
}

void DecodeRows(std::span<const uint8_t> bytes, const BmpLayout& layout, Picture& picture) {
    for (int32_t y = 0; y < layout.height; ++y) {
        const int32_t fileRow = layout.topDown ? y : layout.height - 1 - y;
        const uint8_t* row =
            bytes.data() + layout.pixelOffset + layout.rowBytes * static_cast<uint64_t>(fileRow);
        for (int32_t x = 0; x < layout.width; ++x) {
            picture.Set(x, y, ColourOf(PixelValue(row, x, layout.bitCount), layout));
        }
    }
}

bool DecodeRle(std::span<const uint8_t> bytes, const BmpLayout& layout, Picture& picture, std::string& why) {
    std::vector<uint8_t> indices;
    if (!ExpandBmpRle(bytes.subspan(layout.pixelOffset), layout.bitCount, layout.width, layout.height,
                      indices, why)) {
        return false;
    }
    const auto width = static_cast<std::size_t>(layout.width);
    for (int32_t y = 0; y < layout.height; ++y) {
        const uint8_t* row = indices.data() + static_cast<std::size_t>(layout.height - 1 - y) * width;
        for (int32_t x = 0; x < layout.width; ++x) {
            picture.Set(x, y, layout.palette[row[x]]);
        }
    }
    return true;
}

} // namespace

bool LooksLikeBmp(std::span<const uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

PictureFileStatus DecodeBmpPicture(std::span<const uint8_t> bytes, Picture& picture, std::string& error) {
    if (!LooksLikeBmp(bytes)) {
        return Refuse(PictureFileStatus::UnknownFormat, "not a BMP file", error);
    }
    BmpLayout layout;
    if (PictureFileStatus status = ReadBmpLayout(bytes, layout, error); status != PictureFileStatus::Ok) {
        return status;
    }
    Picture decoded;
    if (!decoded.Resize(layout.width, layout.height)) {
        return Refuse(PictureFileStatus::TooLarge, "no memory for the BMP picture", error);
    }
    if (layout.compression == kBmpRle4 || layout.compression == kBmpRle8) {
        if (std::string why; !DecodeRle(bytes, layout, decoded, why)) {
            return Refuse(PictureFileStatus::Damaged, why, error);
        }
    } else {
        DecodeRows(bytes, layout, decoded);
    }
    picture = std::move(decoded);
    return PictureFileStatus::Ok;
}

} // namespace panelgrab
