#include "capture/display_bitmap.h"

#include <new>

#include "common/atomic_file.h"
#include "common/image/bmp_encoder.h"

namespace panelgrab {

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
    return panelgrab::EncodeBmp(ToPicture());
}

Picture DisplayBitmap::ToPicture() const {
    Picture picture;
    if (!hasPixels() || !picture.Resize(width_, height_)) {
        return picture;
    }
    for (uint16_t y = 0; y < height_; ++y) {
        const uint8_t* bgr = pixels_.data() + std::size_t{y} * rowSize_;
        for (uint8_t* rgb = picture.Row(y); rgb != picture.Row(y) + 3 * width_; rgb += 3, bgr += 3) {
            rgb[0] = bgr[2];
            rgb[1] = bgr[1];
            rgb[2] = bgr[0];
        }
    }
    return picture;
}

bool DisplayBitmap::SetFromPicture(const Picture& picture) {
    if (picture.width() > static_cast<int32_t>(kMaxDisplaySide) ||
        picture.height() > static_cast<int32_t>(kMaxDisplaySide) ||
        !SetSize(static_cast<uint16_t>(picture.width()), static_cast<uint16_t>(picture.height()))) {
        return false;
    }
    for (uint16_t y = 0; y < height_; ++y) {
        uint8_t* bgr = pixels_.data() + std::size_t{y} * rowSize_;
        for (const uint8_t* rgb = picture.Row(y); rgb != picture.Row(y) + 3 * width_; rgb += 3, bgr += 3) {
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
