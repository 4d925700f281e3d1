// The BMP picture reader over arbitrary bytes. The input is copied to a buffer of exactly its size,
// so any read past the file's end is an ASan finding. A picture it accepts must be sane, and must
// come back unchanged through the capture library's own BMP writer.
#include <cstdint>
#include <span>
#include <string>

#include "capture/display_bitmap.h"
#include "compare/bmp_picture_decoder.h"
#include "fuzz_input.h"

namespace {

using panelgrab::fuzz::Check;

void CheckRoundTrip(const panelgrab::Picture& picture) {
    panelgrab::DisplayBitmap bitmap;
    if (picture.width() > static_cast<int32_t>(panelgrab::kMaxDisplaySide) ||
        picture.height() > static_cast<int32_t>(panelgrab::kMaxDisplaySide) ||
        !bitmap.SetSize(static_cast<uint16_t>(picture.width()), static_cast<uint16_t>(picture.height()))) {
        return;
    }
    for (int32_t y = 0; y < picture.height(); ++y) {
        for (int32_t x = 0; x < picture.width(); ++x) {
            const panelgrab::Rgb c = picture.At(x, y);
            uint8_t* p = bitmap.pixels() + static_cast<std::size_t>(y) * bitmap.rowSize() +
                         3u * static_cast<std::size_t>(x);
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
    const std::vector<uint8_t> file = bitmap.EncodeBmp();
    panelgrab::Picture again;
    std::string error;
    Check(panelgrab::DecodeBmpPicture(file, again, error) == panelgrab::PictureFileStatus::Ok,
          "our own BMP reads back");
    Check(again == picture, "our own BMP reads back unchanged");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto copy = panelgrab::fuzz::ExactCopy({reinterpret_cast<const char*>(data), size});
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(copy.get()), size);
    panelgrab::Picture picture;
    std::string error;
    const panelgrab::PictureFileStatus status = panelgrab::DecodeBmpPicture(bytes, picture, error);
    if (status != panelgrab::PictureFileStatus::Ok) {
        Check(!error.empty(), "a refusal says why");
        Check(picture.empty(), "a refusal leaves the picture alone");
        return 0;
    }
    Check(panelgrab::LooksLikeBmp(bytes), "only BMP files are read");
    Check(picture.width() > 0 && picture.height() > 0, "an accepted picture has pixels");
    Check(int64_t{picture.width()} * picture.height() <= panelgrab::kMaxPicturePixels, "within the limits");
    // A 24-bit picture takes at least 3 bytes a pixel from the file.
    Check(int64_t{picture.width()} * picture.height() * 3 <= static_cast<int64_t>(size),
          "no pixels from nowhere");
    CheckRoundTrip(picture);
    return 0;
}
