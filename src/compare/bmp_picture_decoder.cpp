#include "compare/bmp_picture_decoder.h"

namespace panelgrab {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

uint32_t U32(std::span<const uint8_t> b, std::size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

uint16_t U16(std::span<const uint8_t> b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// The header sizes of BITMAPINFOHEADER and its successors (with RGB masks, with alpha mask, V4, V5).
bool KnownInfoHeader(uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

struct Layout {
    int32_t width = 0;
    int64_t height = 0;
    bool topDown = false;
    uint16_t bitCount = 0;
    uint64_t pixelOffset = 0;
    uint64_t rowBytes = 0;
};

PictureFileStatus Refuse(PictureFileStatus status, std::string text, std::string& error) {
    error = std::move(text);
    return status;
}

// The masks of a BI_BITFIELDS picture follow a 40-byte header and sit inside the longer ones, at
// the same place either way.
bool StandardMasks(std::span<const uint8_t> b) {
    constexpr std::size_t kMasks = kFileHeaderBytes + 40;
    if (b.size() < kMasks + 12) {
        return false;
    }
    return U32(b, kMasks) == 0x00FF0000u && U32(b, kMasks + 4) == 0x0000FF00u &&
           U32(b, kMasks + 8) == 0x000000FFu;
}

PictureFileStatus ReadLayout(std::span<const uint8_t> b, Layout& layout, std::string& error) {
    const uint32_t headerSize = U32(b, 14);
    if (!KnownInfoHeader(headerSize)) {
        return Refuse(PictureFileStatus::Unsupported,
                      "unsupported BMP header of " + std::to_string(headerSize) +
                          " bytes (the Windows 40-byte header and its successors are read)",
                      error);
    }
    if (b.size() < kFileHeaderBytes + headerSize) {
        return Refuse(PictureFileStatus::Damaged, "the BMP header is cut short", error);
    }
    const auto width = static_cast<int32_t>(U32(b, 18));
    const auto rawHeight = static_cast<int32_t>(U32(b, 22));
    layout.bitCount = U16(b, 28);
    const uint32_t compression = U32(b, 30);
    if (layout.bitCount != 24 && layout.bitCount != 32) {
        return Refuse(PictureFileStatus::Unsupported,
                      "only 24- and 32-bit BMP pictures are read, this one has " +
                          std::to_string(layout.bitCount) + " bits a pixel",
                      error);
    }
    const bool bitfields = compression == kBiBitfields && layout.bitCount == 32;
    if (compression != kBiRgb && !bitfields) {
        return Refuse(
            PictureFileStatus::Unsupported,
            "compressed BMP pictures are not read (compression " + std::to_string(compression) + ")", error);
    }
    if (bitfields && !StandardMasks(b)) {
        return Refuse(PictureFileStatus::Unsupported,
                      "32-bit BMP with unusual channel masks (only blue-green-red bytes are read)", error);
    }
    layout.topDown = rawHeight < 0;
    layout.height = layout.topDown ? -int64_t{rawHeight} : int64_t{rawHeight};
    layout.width = width;
    if (width <= 0 || layout.height <= 0) {
        return Refuse(PictureFileStatus::Damaged,
                      "the BMP picture has no pixels (" + std::to_string(width) + "x" +
                          std::to_string(rawHeight) + ")",
                      error);
    }
    if (width > kMaxPictureSide || layout.height > kMaxPictureSide ||
        int64_t{width} * layout.height > kMaxPicturePixels) {
        return Refuse(PictureFileStatus::TooLarge,
                      "the BMP picture is too large (" + std::to_string(width) + "x" +
                          std::to_string(layout.height) + ")",
                      error);
    }
    layout.rowBytes = (uint64_t{static_cast<uint32_t>(width)} * layout.bitCount + 31) / 32 * 4;
    layout.pixelOffset = U32(b, 10);
    const uint64_t headersEnd = kFileHeaderBytes + headerSize + (bitfields && headerSize == 40 ? 12 : 0);
    if (layout.pixelOffset < headersEnd) {
        return Refuse(PictureFileStatus::Damaged, "the BMP pixel data would overlap its header", error);
    }
    // The last row need not carry its padding: some writers stop at the last pixel.
    const uint64_t lastRowBytes = (uint64_t{static_cast<uint32_t>(width)} * layout.bitCount + 7) / 8;
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

} // namespace

bool LooksLikeBmp(std::span<const uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

PictureFileStatus DecodeBmpPicture(std::span<const uint8_t> bytes, Picture& picture, std::string& error) {
    if (!LooksLikeBmp(bytes)) {
        return Refuse(PictureFileStatus::UnknownFormat, "not a BMP file", error);
    }
    if (bytes.size() < kFileHeaderBytes + 4) {
        return Refuse(PictureFileStatus::Damaged, "the BMP file is cut short in its header", error);
    }
    Layout layout;
    if (PictureFileStatus status = ReadLayout(bytes, layout, error); status != PictureFileStatus::Ok) {
        return status;
    }
    Picture decoded;
    const auto height = static_cast<int32_t>(layout.height);
    if (!decoded.Resize(layout.width, height)) {
        return Refuse(PictureFileStatus::TooLarge, "no memory for the BMP picture", error);
    }
    const std::size_t pixelBytes = layout.bitCount / 8;
    for (int32_t y = 0; y < height; ++y) {
        const int64_t fileRow = layout.topDown ? y : height - 1 - y;
        const uint8_t* in =
            bytes.data() + layout.pixelOffset + layout.rowBytes * static_cast<uint64_t>(fileRow);
        uint8_t* out = decoded.Row(y);
        for (int32_t x = 0; x < layout.width; ++x, in += pixelBytes, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    picture = std::move(decoded);
    return PictureFileStatus::Ok;
}

} // namespace panelgrab
