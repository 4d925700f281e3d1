// The PNG decoder on zlib over arbitrary bytes, chunk CRCs repaired as for the libpng path's
// target. Where libpng is there, a picture both decoders accept must be the same from both: the
// Windows build reads through this decoder what the Linux build reads through libpng. (Without
// libpng the two are one decoder and only the invariants are checked.)
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "compare/png_picture_decoder.h"
#include "compare/zlib_png_decoder.h"
#include "fuzz_input.h"
#include "png_chunk_crcs.h"

using panelgrab::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    panelgrab::fuzz::RepairChunkCrcs(file);
    const auto copy = panelgrab::fuzz::ExactCopy({reinterpret_cast<const char*>(file.data()), file.size()});
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(copy.get()), file.size());
    panelgrab::Picture picture;
    std::string error;
    const panelgrab::PictureFileStatus status = panelgrab::DecodePngWithZlib(bytes, picture, error);
    if (status != panelgrab::PictureFileStatus::Ok) {
        Check(!error.empty(), "a refusal says why");
        Check(picture.empty(), "a refusal leaves the picture alone");
        return 0;
    }
    Check(panelgrab::LooksLikePng(bytes), "only PNG files are read");
    Check(picture.width() > 0 && picture.height() > 0, "an accepted picture has pixels");
    Check(int64_t{picture.width()} * picture.height() <= panelgrab::kMaxPicturePixels, "within the limits");
    panelgrab::Picture reference;
    if (panelgrab::DecodePngPicture(bytes, reference, error) == panelgrab::PictureFileStatus::Ok) {
        Check(picture == reference, "the same pixels as the libpng path");
    }
    return 0;
}
