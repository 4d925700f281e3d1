// The PNG picture reader over arbitrary bytes. Chunk checksums are repaired before decoding, so
// that mutations reach the chunk parsers and the decompressor instead of stopping at a CRC error.
// A picture it accepts must come back unchanged through libpng's writer.
#include <cstdint>
#include <cstring>
#include <png.h>
#include <string>
#include <vector>

#include "compare/png_picture_decoder.h"
#include "png_fuzz_decode.h"

namespace {

using panelgrab::fuzz::Check;

void CheckRoundTrip(const panelgrab::Picture& picture) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width());
    image.height = static_cast<png_uint_32>(picture.height());
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.Row(0), 0, nullptr)) {
        png_image_free(&image);
        return;
    }
    std::vector<uint8_t> file(size);
    const bool written =
        png_image_write_to_memory(&image, file.data(), &size, 0, picture.Row(0), 0, nullptr) != 0;
    png_image_free(&image);
    Check(written, "libpng writes what it measured");
    file.resize(size);
    panelgrab::Picture again;
    std::string error;
    Check(panelgrab::DecodePngPicture(file, again, error) == panelgrab::PictureFileStatus::Ok,
          "libpng's PNG reads");
    Check(again == picture, "libpng's PNG reads back unchanged");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file;
    panelgrab::Picture picture;
    if (panelgrab::fuzz::DecodeRepairedPng(data, size, panelgrab::DecodePngPicture, file, picture)) {
        CheckRoundTrip(picture);
    }
    return 0;
}
