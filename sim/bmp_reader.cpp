#include "sim/bmp_reader.h"

#include <cstdint>
#include <fstream>

namespace panelgrab::sim {
namespace {

constexpr std::size_t kMaxFileBytes = 64u * 1024 * 1024;
constexpr int32_t kMaxSide = 16384;

uint32_t U32(const std::string& b, std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | static_cast<uint8_t>(b[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

uint16_t U16(const std::string& b, std::size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// 32-bit pictures may name their channels with masks; only the usual BGR(A) layout is accepted.
bool StandardMasks(const std::string& b) {
    return b.size() >= 66 && U32(b, 54) == 0x00FF0000u && U32(b, 58) == 0x0000FF00u &&
           U32(b, 62) == 0x000000FFu;
}

} // namespace

bool DecodeBmp(const std::string& b, RgbImage& image, std::string& error) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        error = "not a BMP file";
        return false;
    }
    const uint32_t pixelOffset = U32(b, 10);
    const uint32_t headerSize = U32(b, 14);
    const auto width = static_cast<int32_t>(U32(b, 18));
    const auto rawHeight = static_cast<int32_t>(U32(b, 22));
    const uint16_t bitCount = U16(b, 28);
    const uint32_t compression = U32(b, 30);
    if (headerSize < 40) {
        error = "unsupported BMP header (older than the 40-byte one)";
        return false;
    }
    if (bitCount != 24 && bitCount != 32) {
        error = "only 24- and 32-bit BMP pictures are supported (this one has " + std::to_string(bitCount) +
                " bits a pixel)";
        return false;
    }
    if (compression != 0 && !(compression == 3 && bitCount == 32 && StandardMasks(b))) {
        error = "compressed BMP pictures are not supported";
        return false;
    }
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -static_cast<int64_t>(rawHeight) : rawHeight;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        error = "BMP picture has an unusable size";
        return false;
    }
    const std::size_t bytesPerPixel = bitCount / 8;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bytesPerPixel + 3) / 4 * 4;
    if (pixelOffset > b.size() || (b.size() - pixelOffset) / rowBytes < static_cast<std::size_t>(height)) {
        error = "BMP file is truncated";
        return false;
    }
    RgbImage decoded;
    decoded.width = width;
    decoded.height = static_cast<int>(height);
    decoded.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (int y = 0; y < decoded.height; ++y) {
        const int fileRow = topDown ? y : decoded.height - 1 - y;
        const std::size_t row = pixelOffset + static_cast<std::size_t>(fileRow) * rowBytes;
        for (int x = 0; x < width; ++x) {
            const std::size_t p = row + static_cast<std::size_t>(x) * bytesPerPixel;
            uint8_t* out = &decoded.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            out[0] = static_cast<uint8_t>(b[p + 2]);
            out[1] = static_cast<uint8_t>(b[p + 1]);
            out[2] = static_cast<uint8_t>(b[p]);
        }
    }
    image = std::move(decoded);
    return true;
}

bool ReadBmpFile(const std::string& path, RgbImage& image, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open picture " + path;
        return false;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxFileBytes) {
        error = "picture " + path + " is larger than 64 MB or unreadable";
        return false;
    }
    file.seekg(0, std::ios::beg);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!file.read(bytes.data(), size)) {
        error = "cannot read picture " + path;
        return false;
    }
    if (!DecodeBmp(bytes, image, error)) {
        error = "picture " + path + ": " + error;
        return false;
    }
    return true;
}

} // namespace panelgrab::sim
