#include "common/image/picture_file_writer.h"

#include <vector>

#include "common/ascii_text.h"
#include "common/atomic_file.h"
#include "common/image/bmp_encoder.h"
#include "common/image/zlib_png_encoder.h"

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

bool WritePictureFile(const Picture& picture, PictureFileFormat format, const std::string& path,
                      std::string& error) {
    std::vector<uint8_t> bytes;
    switch (format) {
    case PictureFileFormat::Bmp:
        bytes = EncodeBmp(picture);
        break;
    case PictureFileFormat::Png:
        if (!EncodePngWithZlib(picture, bytes, error)) {
            return false;
        }
        break;
    case PictureFileFormat::Unknown:
        error = "the name must end in .png or .bmp";
        return false;
    }
    return WriteFileAtomically(path, bytes.data(), bytes.size(), error);
}

bool WritePictureFile(const Picture& picture, const std::string& path, std::string& error) {
    return WritePictureFile(picture, PictureFormatOfName(path), path, error);
}

} // namespace panelgrab
