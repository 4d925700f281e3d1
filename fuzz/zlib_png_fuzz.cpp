// The PNG decoder on zlib over arbitrary bytes, chunk CRCs repaired as for the libpng path's
// target. Where libpng is there, a picture both decoders accept must be the same from both: the
// Windows build reads through this decoder what the Linux build reads through libpng. (Without
// libpng the two are one decoder and only the invariants are checked.)
#include <cstdint>
#include <string>
#include <vector>

#include "compare/png_picture_decoder.h"
#include "compare/zlib_png_decoder.h"
#include "png_fuzz_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file;
    panelgrab::Picture picture;
    if (!panelgrab::fuzz::DecodeRepairedPng(data, size, panelgrab::DecodePngWithZlib, file, picture)) {
        return 0;
    }
    panelgrab::Picture reference;
    std::string error;
    if (panelgrab::DecodePngPicture(file, reference, error) == panelgrab::PictureFileStatus::Ok) {
        panelgrab::fuzz::Check(picture == reference, "the same pixels as the libpng path");
    }
    return 0;
}
