#include "common/image/picture.h"

#include <new>

namespace panelgrab {

bool Picture::Resize(int32_t width, int32_t height) {
    width_ = 0;
    height_ = 0;
    rgb_.clear();
    rgb_.shrink_to_fit();
    if (width < 0 || height < 0 || width > kMaxPictureSide || height > kMaxPictureSide ||
        int64_t{width} * height > kMaxPicturePixels) {
        return false;
    }
    try {
        rgb_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

} // namespace panelgrab
