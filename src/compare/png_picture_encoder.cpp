#include "compare/png_picture_encoder.h"

#include <cstring>
#include <png.h>

namespace panelgrab {

// libpng's simplified API reports errors as results, so no longjmp crosses our C++ frames.
bool EncodePngPicture(const Picture& picture, std::vector<uint8_t>& png, std::string& error) {
    if (picture.empty()) {
        error = "the picture is empty";
        return false;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width());
    image.height = static_cast<png_uint_32>(picture.height());
    image.format = PNG_FORMAT_RGB;
    const uint8_t* rows = picture.Row(0);

    png_alloc_size_t size = 0;
    std::vector<uint8_t> encoded;
    bool ok = png_image_write_to_memory(&image, nullptr, &size, 0, rows, 0, nullptr) != 0;
    if (ok) {
        encoded.resize(size);
        ok = png_image_write_to_memory(&image, encoded.data(), &size, 0, rows, 0, nullptr) != 0;
    }
    if (!ok) {
        error = std::string("PNG encoding failed: ") + image.message;
        png_image_free(&image);
        return false;
    }
    encoded.resize(size);
    png_image_free(&image);
    png = std::move(encoded);
    return true;
}

} // namespace panelgrab
