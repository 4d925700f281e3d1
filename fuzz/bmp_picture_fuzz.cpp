// The BMP picture reader over arbitrary bytes. The input is copied to a buffer of exactly its size,
// so any read past the file's end is an ASan finding. A picture it accepts must be sane, and must
// come back unchanged through our own BMP writer.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/image/bmp_decoder.h"
#include "common/image/bmp_encoder.h"
#include "fuzz_input.h"
#include "picture_decode_checks.h"

namespace {

using panelgrab::fuzz::Check;

void CheckRoundTrip(const panelgrab::Picture& picture) {
    const std::vector<uint8_t> file = panelgrab::EncodeBmp(picture);
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
    if (!panelgrab::fuzz::CheckDecoded(status, panelgrab::LooksLikeBmp(bytes), picture, error)) {
        return 0;
    }
    CheckRoundTrip(picture);
    return 0;
}
