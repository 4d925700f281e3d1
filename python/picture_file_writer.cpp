#include "python/picture_file_writer.h"

#include <vector>

#include "common/ascii_text.h"
#include "common/atomic_file.h"
#include "compare/png_picture_encoder.h"

namespace panelgrab::python {

bool PictureFileWriter::IsPngPath(const std::string& path) {
    constexpr std::string_view kSuffix = ".png";
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // ".png" alone is a hidden file's name, not a PNG request.
    return name.size() > kSuffix.size() && ToUpperAscii(name.substr(name.size() - kSuffix.size())) == ".PNG";
}

bool PictureFileWriter::WritePng(const Picture& picture, const std::string& path, std::string& error) {
    std::vector<uint8_t> png;
    std::string why;
    if (!EncodePngPicture(picture, png, why) || !WriteFileAtomically(path, png.data(), png.size(), why)) {
        error = "could not write " + path + ": " + why;
        return false;
    }
    return true;
}

bool PictureFileWriter::Write(const Picture& picture, const std::string& path, std::string& error) {
    if (IsPngPath(path)) {
        return WritePng(picture, path, error);
    }
    DisplayBitmap bitmap;
    const bool fits = picture.width() <= static_cast<int32_t>(kMaxDisplaySide) &&
                      picture.height() <= static_cast<int32_t>(kMaxDisplaySide);
    if (!fits ||
        !bitmap.SetFromRgb(static_cast<uint16_t>(picture.width()), static_cast<uint16_t>(picture.height()),
                           picture.empty() ? nullptr : picture.Row(0))) {
        error = "could not write " + path + ": the picture is too large for a BMP file";
        return false;
    }
    return Write(bitmap, picture, path, error);
}

bool PictureFileWriter::Write(const DisplayBitmap& bitmap, const Picture& picture, const std::string& path,
                              std::string& error) {
    if (IsPngPath(path)) {
        return WritePng(picture, path, error);
    }
    if (std::string why; !bitmap.WriteBmpFile(path, why)) {
        error = "could not write " + path + ": " + why;
        return false;
    }
    return true;
}

} // namespace panelgrab::python
