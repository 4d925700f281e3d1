#include "capture/picture_file.h"

#include "capture/png_file.h"
#include "common/ascii_text.h"

namespace panelgrab {

PictureFileFormat PictureFormatOfName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return PictureFileFormat::Unknown;
    }
    const std::string_view suffix = name.substr(dot + 1);
    if (EqualsIgnoringCase(suffix, "bmp")) {
        return PictureFileFormat::Bmp;
    }
    return EqualsIgnoringCase(suffix, "png") ? PictureFileFormat::Png : PictureFileFormat::Unknown;
}

bool WritePictureFile(const DisplayBitmap& picture, const std::string& path, std::string& error) {
    switch (PictureFormatOfName(path)) {
    case PictureFileFormat::Bmp:
        return picture.WriteBmpFile(path, error);
    case PictureFileFormat::Png:
        return WritePngFile(picture, path, error);
    case PictureFileFormat::Unknown:
        break;
    }
    error = "the name must end in .png or .bmp";
    return false;
}

} // namespace panelgrab
