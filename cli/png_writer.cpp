#include "cli/png_writer.h"

#include "cli/picture_conversion.h"
#include "common/atomic_file.h"
#include "compare/png_picture_encoder.h"

namespace panelgrab::cli {

bool EncodePng(const DisplayBitmap& picture, std::vector<uint8_t>& png, std::string& error) {
    return EncodePngPicture(ToPicture(picture), png, error);
}

bool WritePngFile(const DisplayBitmap& picture, const std::string& path, std::string& error) {
    std::vector<uint8_t> png;
    return EncodePng(picture, png, error) && WriteFileAtomically(path, png.data(), png.size(), error);
}

} // namespace panelgrab::cli
