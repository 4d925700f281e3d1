#include "common/image/bmp_layout.h"

#include <bit>

namespace panelgrab {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;
constexpr std::size_t kMasksAt = kFileHeaderBytes + 40;

uint32_t U32(std::span<const uint8_t> b, std::size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

uint16_t U16(std::span<const uint8_t> b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// BITMAPCOREHEADER, BITMAPINFOHEADER and its successors (with RGB masks, with alpha mask, V4, V5).
bool KnownInfoHeader(uint32_t size) {
    return size == kCoreHeaderBytes || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

PictureFileStatus Refuse(PictureFileStatus status, std::string text, std::string& error) {
    error = std::move(text);
    return status;
}

bool Indexed(uint16_t bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8;
}

bool HasMasks(uint32_t compression) {
    return compression == kBmpBitfields || compression == kBmpAlphaBitfields;
}

// The pairs of bit count and compression this reader decodes.
bool KnownEncoding(uint16_t bitCount, uint32_t compression) {
    switch (compression) {
    case kBmpRgb:
        return Indexed(bitCount) || bitCount == 16 || bitCount == 24 || bitCount == 32;
    case kBmpRle8:
        return bitCount == 8;
    case kBmpRle4:
        return bitCount == 4;
    case kBmpBitfields:
    case kBmpAlphaBitfields:
        return bitCount == 16 || bitCount == 32;
    default:
        return false;
    }
}

// A mask must be one run of bits; an empty one gives a channel of zeros.
bool UsableMask(uint32_t mask) {
    return mask == 0 || std::has_single_bit((mask >> std::countr_zero(mask)) + 1);
}

PictureFileStatus ReadMasks(std::span<const uint8_t> b, uint32_t headerSize, BmpLayout& layout,
                            std::string& error) {
    if (!HasMasks(layout.compression)) {
        layout.masks = layout.bitCount == 16 ? std::array<uint32_t, 3>{0x7C00u, 0x03E0u, 0x001Fu}
                                             : std::array<uint32_t, 3>{0x00FF0000u, 0x0000FF00u, 0x000000FFu};
        return PictureFileStatus::Ok;
    }
    // After a 40-byte header the masks follow it; the longer headers hold them at the same place.
    if (headerSize == 40 && b.size() < kMasksAt + 12) {
        return Refuse(PictureFileStatus::Damaged, "the BMP file is cut short in its masks", error);
    }
    for (std::size_t i = 0; i < 3; ++i) {
        layout.masks[i] = U32(b, kMasksAt + 4 * i);
        if (!UsableMask(layout.masks[i])) {
            return Refuse(PictureFileStatus::Unsupported, "a BMP channel mask whose bits are not in one run",
                          error);
        }
    }
    return PictureFileStatus::Ok;
}

// The palette follows the headers: 3-byte entries after the OS/2 header, 4-byte ones otherwise.
PictureFileStatus ReadPalette(std::span<const uint8_t> b, uint32_t headerSize, uint64_t paletteAt,
                              BmpLayout& layout, std::string& error) {
    const uint32_t capacity = 1u << layout.bitCount;
    const bool core = headerSize == kCoreHeaderBytes;
    const uint32_t colours = core ? 0 : U32(b, kFileHeaderBytes + 32);
    const uint32_t entries = colours == 0 || colours > capacity ? capacity : colours;
    const uint64_t entryBytes = core ? 3 : 4;
    // A file may hold fewer entries than the header counts: up to the pixels, then black.
    const uint64_t end = std::min<uint64_t>(layout.pixelOffset, paletteAt + entries * entryBytes);
    if (end > b.size()) {
        return Refuse(PictureFileStatus::Damaged, "the BMP file is cut short in its palette", error);
    }
    layout.palette.assign(capacity, Rgb{});
    for (uint64_t at = paletteAt, i = 0; at + entryBytes <= end; at += entryBytes, ++i) {
        layout.palette[i] = {b[at + 2], b[at + 1], b[at]};
    }
    return PictureFileStatus::Ok;
}

PictureFileStatus CheckSize(std::span<const uint8_t> b, BmpLayout& layout, std::string& error) {
    if (layout.width <= 0 || layout.height <= 0) {
        return Refuse(PictureFileStatus::Damaged,
                      "the BMP picture has no pixels (" + std::to_string(layout.width) + "x" +
                          std::to_string(layout.height) + ")",
                      error);
    }
    if (layout.width > kMaxPictureSide || layout.height > kMaxPictureSide ||
        int64_t{layout.width} * layout.height > kMaxPicturePixels) {
        return Refuse(PictureFileStatus::TooLarge,
                      "the BMP picture is too large (" + std::to_string(layout.width) + "x" +
                          std::to_string(layout.height) + ")",
                      error);
    }
    layout.rowBytes = (uint64_t{static_cast<uint32_t>(layout.width)} * layout.bitCount + 31) / 32 * 4;
    if (layout.compression == kBmpRle4 || layout.compression == kBmpRle8) {
        if (layout.topDown) {
            return Refuse(PictureFileStatus::Damaged, "a compressed BMP picture cannot run top-down", error);
        }
        return layout.pixelOffset <= b.size()
                   ? PictureFileStatus::Ok
                   : Refuse(PictureFileStatus::Damaged, "the BMP file is cut short before its pixels", error);
    }
    // The last row need not carry its padding: some writers stop at the last pixel.
    const uint64_t lastRowBytes = (uint64_t{static_cast<uint32_t>(layout.width)} * layout.bitCount + 7) / 8;
    const uint64_t needed =
        layout.pixelOffset + layout.rowBytes * static_cast<uint64_t>(layout.height - 1) + lastRowBytes;
    if (needed > b.size()) {
        return Refuse(PictureFileStatus::Damaged,
                      "the BMP file is cut short: its pixels need " + std::to_string(needed) +
                          " bytes, it has " + std::to_string(b.size()),
                      error);
    }
    return PictureFileStatus::Ok;
}

// Size, depth and compression from either kind of info header.
void ReadInfoHeader(std::span<const uint8_t> b, uint32_t headerSize, BmpLayout& layout) {
    if (headerSize == kCoreHeaderBytes) {
        layout.width = U16(b, 18);
        layout.height = U16(b, 20);
        layout.bitCount = U16(b, 24);
        return;
    }
    const auto rawHeight = static_cast<int32_t>(U32(b, 22));
    layout.width = static_cast<int32_t>(U32(b, 18));
    layout.topDown = rawHeight < 0;
    // The most negative height has no positive twin; it is far beyond the limit either way.
    layout.height = rawHeight == INT32_MIN ? INT32_MAX : (rawHeight < 0 ? -rawHeight : rawHeight);
    layout.bitCount = U16(b, 28);
    layout.compression = U32(b, 30);
}

} // namespace

PictureFileStatus ReadBmpLayout(std::span<const uint8_t> b, BmpLayout& layout, std::string& error) {
    if (b.size() < kFileHeaderBytes + 4) {
        return Refuse(PictureFileStatus::Damaged, "the BMP file is cut short in its header", error);
    }
    const uint32_t headerSize = U32(b, kFileHeaderBytes);
    if (!KnownInfoHeader(headerSize)) {
        return Refuse(PictureFileStatus::Unsupported,
                      "unsupported BMP header of " + std::to_string(headerSize) +
                          " bytes (the OS/2 12-byte header, the Windows 40-byte one and its successors "
                          "are read)",
                      error);
    }
    if (b.size() < kFileHeaderBytes + headerSize) {
        return Refuse(PictureFileStatus::Damaged, "the BMP header is cut short", error);
    }
    ReadInfoHeader(b, headerSize, layout);
    if (!KnownEncoding(layout.bitCount, layout.compression)) {
        return Refuse(PictureFileStatus::Unsupported,
                      "a BMP picture of " + std::to_string(layout.bitCount) +
                          " bits a pixel with compression " + std::to_string(layout.compression) +
                          " is not read",
                      error);
    }
    layout.pixelOffset = U32(b, 10);
    const uint64_t headersEnd =
        kFileHeaderBytes + headerSize + (HasMasks(layout.compression) && headerSize == 40 ? 12 : 0);
    if (layout.pixelOffset < headersEnd) {
        return Refuse(PictureFileStatus::Damaged, "the BMP pixel data would overlap its header", error);
    }
    PictureFileStatus status = ReadMasks(b, headerSize, layout, error);
    if (status == PictureFileStatus::Ok && Indexed(layout.bitCount)) {
        status = ReadPalette(b, headerSize, headersEnd, layout, error);
    }
    return status == PictureFileStatus::Ok ? CheckSize(b, layout, error) : status;
}

} // namespace panelgrab
