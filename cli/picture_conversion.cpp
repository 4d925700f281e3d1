#include "cli/picture_conversion.h"

namespace panelgrab::cli {

Picture ToPicture(const DisplayBitmap& bitmap) {
    Picture picture;
    if (!bitmap.hasPixels() || !picture.Resize(bitmap.width(), bitmap.height())) {
        return picture;
    }
    for (int32_t y = 0; y < picture.height(); ++y) {
        const uint8_t* bgr = bitmap.pixels() + static_cast<std::size_t>(y) * bitmap.rowSize();
        uint8_t* rgb = picture.Row(y);
        for (int32_t x = 0; x < picture.width(); ++x, bgr += 3, rgb += 3) {
            rgb[0] = bgr[2];
            rgb[1] = bgr[1];
            rgb[2] = bgr[0];
        }
    }
    return picture;
}

bool ToBitmap(const Picture& picture, DisplayBitmap& bitmap) {
    if (picture.width() > static_cast<int32_t>(kMaxDisplaySide) ||
        picture.height() > static_cast<int32_t>(kMaxDisplaySide) ||
        !bitmap.SetSize(static_cast<uint16_t>(picture.width()), static_cast<uint16_t>(picture.height()))) {
        return false;
    }
    for (int32_t y = 0; y < picture.height(); ++y) {
        const uint8_t* rgb = picture.Row(y);
        uint8_t* bgr = bitmap.pixels() + static_cast<std::size_t>(y) * bitmap.rowSize();
        for (int32_t x = 0; x < picture.width(); ++x, bgr += 3, rgb += 3) {
            bgr[0] = rgb[2];
            bgr[1] = rgb[1];
            bgr[2] = rgb[0];
        }
    }
    return true;
}

} // namespace panelgrab::cli
