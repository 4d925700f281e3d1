#include "capture/picture_file.h"

#include "common/image/zlib_png_encoder.h"

namespace panelgrab {

bool WritePictureFile(const DisplayBitmap& picture, const std::string& path, std::string& error) {
    return WritePictureFile(picture.ToPicture(), path, error);
}

bool EncodePng(const DisplayBitmap& picture, std::vector<uint8_t>& png, std::string& error) {
    return EncodePngWithZlib(picture.ToPicture(), png, error);
}

bool WritePngFile(const DisplayBitmap& picture, const std::string& path, std::string& error) {
    return WritePictureFile(picture.ToPicture(), PictureFileFormat::Png, path, error);
}

} // namespace panelgrab
