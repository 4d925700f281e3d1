#include "common/image/bmp_encoder.h"

namespace panelgrab {

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kPixelOffset = kFileHeaderBytes + kInfoHeaderBytes;

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFFu);
    Put16(out, value >> 16);
}

void PutHeaders(std::vector<uint8_t>& file, uint32_t width, uint32_t height, uint32_t imageBytes) {
    Put16(file, 0x4D42); // "BM"
    Put32(file, kPixelOffset + imageBytes);
    Put16(file, 0);
    Put16(file, 0);
    Put32(file, kPixelOffset);
    Put32(file, kInfoHeaderBytes);
    Put32(file, width);
    Put32(file, height); // positive: bottom row first
    Put16(file, 1);
    Put16(file, 24);
    Put32(file, 0);
    Put32(file, imageBytes);
    Put32(file, 0);
    Put32(file, 0);
    Put32(file, 0);
    Put32(file, 0);
}

} // namespace

std::vector<uint8_t> EncodeBmp(const Picture& picture) {
    const uint32_t width = picture.empty() ? 0 : static_cast<uint32_t>(picture.width());
    const uint32_t height = picture.empty() ? 0 : static_cast<uint32_t>(picture.height());
    const uint32_t rowSize = (3u * width + 3u) & ~3u;
    const uint32_t imageBytes = rowSize * height;
    std::vector<uint8_t> file;
    file.reserve(kPixelOffset + imageBytes);
    PutHeaders(file, width, height, imageBytes);
    for (uint32_t row = height; row-- > 0;) {
        const uint8_t* rgb = picture.Row(static_cast<int32_t>(row));
        for (uint32_t x = 0; x < width; ++x, rgb += 3) {
            file.insert(file.end(), {rgb[2], rgb[1], rgb[0]});
        }
        file.resize(file.size() + rowSize - 3 * width, 0);
    }
    return file;
}

} // namespace panelgrab
