#include "python/picture_file_writer.h"

#include "capture/picture_file.h"

namespace panelgrab::python {

bool PictureFileWriter::Write(const DisplayBitmap& bitmap, const std::string& path, std::string& error) {
    if (std::string why; !WritePictureFile(bitmap, path, why)) {
        error = "could not write " + path + ": " + why;
        return false;
    }
    return true;
}

bool PictureFileWriter::Write(const Picture& picture, const std::string& path, std::string& error) {
    DisplayBitmap bitmap;
    const bool fits = picture.width() <= static_cast<int32_t>(kMaxDisplaySide) &&
                      picture.height() <= static_cast<int32_t>(kMaxDisplaySide);
    if (!fits ||
        !bitmap.SetFromRgb(static_cast<uint16_t>(picture.width()), static_cast<uint16_t>(picture.height()),
                           picture.empty() ? nullptr : picture.Row(0))) {
        error = "could not write " + path + ": the picture is too large for a picture file";
        return false;
    }
    return Write(bitmap, path, error);
}

} // namespace panelgrab::python
