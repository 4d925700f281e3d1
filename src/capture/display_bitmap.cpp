#include "capture/display_bitmap.h"

#include <new>

#include "common/atomic_file.h"

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

} // namespace

bool DisplayBitmap::SetSize(const DisplayInfo& entry) {
    return SetSize(entry.width, entry.height);
}

bool DisplayBitmap::SetSize(uint16_t width, uint16_t height) {
    width_ = width;
    height_ = height;
    rowSize_ = (3u * width + 3u) & ~3u;
    header_ = BitmapInfoHeader{};
    header_.biWidth = width;
    header_.biHeight = -static_cast<int32_t>(height);
    pixels_.clear();
    pixels_.shrink_to_fit();
    if (width > kMaxDisplaySide || height > kMaxDisplaySide) {
        return false;
    }
    try {
        pixels_.assign(std::size_t{rowSize_} * height, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::vector<uint8_t> DisplayBitmap::EncodeBmp() const {
    // A bitmap whose pixel rows could not be allocated is written as an empty picture rather than
    // promising rows it does not have.
    const uint16_t width = hasPixels() ? width_ : 0;
    const uint16_t height = hasPixels() ? height_ : 0;
    const uint32_t rowSize = hasPixels() ? rowSize_ : 0;
    const uint32_t imageBytes = rowSize * height;

    std::vector<uint8_t> file;
    file.reserve(kPixelOffset + imageBytes);
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
    for (uint32_t row = height; row-- > 0;) {
        const uint8_t* begin = pixels_.data() + std::size_t{row} * rowSize;
        file.insert(file.end(), begin, begin + rowSize);
    }
    return file;
}

void DisplayBitmap::CopyRgbTo(uint8_t* rgb) const {
    if (!hasPixels()) {
        return;
    }
    for (uint32_t y = 0; y < height_; ++y) {
        const uint8_t* bgr = pixels_.data() + std::size_t{y} * rowSize_;
        for (uint32_t x = 0; x < width_; ++x, bgr += 3, rgb += 3) {
            rgb[0] = bgr[2];
            rgb[1] = bgr[1];
            rgb[2] = bgr[0];
        }
    }
}

bool DisplayBitmap::SetFromRgb(uint16_t width, uint16_t height, const uint8_t* rgb) {
    if (!SetSize(width, height)) {
        return false;
    }
    for (uint32_t y = 0; y < height_; ++y) {
        uint8_t* bgr = pixels_.data() + std::size_t{y} * rowSize_;
        for (uint32_t x = 0; x < width_; ++x, bgr += 3, rgb += 3) {
            bgr[0] = rgb[2];
            bgr[1] = rgb[1];
            bgr[2] = rgb[0];
        }
    }
    return true;
}

bool DisplayBitmap::WriteBmpFile(const std::string& path) const {
    std::string ignored;
    return WriteBmpFile(path, ignored);
}

bool DisplayBitmap::WriteBmpFile(const std::string& path, std::string& error) const {
    const std::vector<uint8_t> bytes = EncodeBmp();
    return WriteFileAtomically(path, bytes.data(), bytes.size(), error);
}

} // namespace panelgrab
