#include "cli/picture_conversion.h"

namespace panelgrab::cli {

Picture ToPicture(const DisplayBitmap& bitmap) {
    Picture picture;
    if (!bitmap.hasPixels() || !picture.Resize(bitmap.width(), bitmap.height()) || picture.empty()) {
        return picture;
    }
    bitmap.CopyRgbTo(picture.Row(0));
    return picture;
}

bool ToBitmap(const Picture& picture, DisplayBitmap& bitmap) {
    if (picture.width() > static_cast<int32_t>(kMaxDisplaySide) ||
        picture.height() > static_cast<int32_t>(kMaxDisplaySide)) {
        return false;
    }
    return bitmap.SetFromRgb(static_cast<uint16_t>(picture.width()), static_cast<uint16_t>(picture.height()),
                             picture.empty() ? nullptr : picture.Row(0));
}

} // namespace panelgrab::cli
