#include "capture/png_file.h"

#include <cstring>
#ifdef PANELGRAB_HAVE_LIBPNG
#include <png.h>
#endif

#include "capture/zlib_png_encoder.h"
#include "common/atomic_file.h"

namespace panelgrab {

#ifdef PANELGRAB_HAVE_LIBPNG
// libpng's simplified API reports errors as results, so no longjmp crosses our C++ frames.
bool EncodePng(const DisplayBitmap& picture, std::vector<uint8_t>& png, std::string& error) {
    if (!picture.hasPixels() || picture.width() == 0 || picture.height() == 0) {
        error = "the picture is empty";
        return false;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = picture.width();
    image.height = picture.height();
    image.format = PNG_FORMAT_BGR; // the bitmap's rows are blue, green, red
    // The row stride is counted in components; one component is one byte here.
    auto stride = static_cast<png_int_32>(picture.rowSize());

    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.pixels(), stride, nullptr)) {
        error = std::string("PNG encoding failed: ") + image.message;
        png_image_free(&image);
        return false;
    }
    png.resize(size);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, picture.pixels(), stride, nullptr)) {
        error = std::string("PNG encoding failed: ") + image.message;
        png_image_free(&image);
        return false;
    }
    png.resize(size);
    png_image_free(&image);
    return true;
}
#else
// Where libpng is missing (Windows), the same bytes come from the encoder on zlib.
bool EncodePng(const DisplayBitmap& picture, std::vector<uint8_t>& png, std::string& error) {
    return EncodePngWithZlib(picture, png, error);
}
#endif

bool WritePngFile(const DisplayBitmap& picture, const std::string& path, std::string& error) {
    std::vector<uint8_t> png;
    return EncodePng(picture, png, error) && WriteFileAtomically(path, png.data(), png.size(), error);
}

} // namespace panelgrab
