#pragma once
// What every picture reader must do with any input: a refusal says why and leaves the picture
// alone; an accepted picture came from a file of its own format and has pixels within the limits.
#include <cstdint>
#include <string>

#include "common/image/picture.h"
#include "common/image/picture_file_status.h"
#include "fuzz_input.h"

namespace panelgrab::fuzz {

// True when the input was accepted. `ownFormat` says whether it starts as the reader's files do.
inline bool CheckDecoded(PictureFileStatus status, bool ownFormat, const Picture& picture,
                         const std::string& error) {
    if (status != PictureFileStatus::Ok) {
        Check(!error.empty(), "a refusal says why");
        Check(picture.empty(), "a refusal leaves the picture alone");
        return false;
    }
    Check(ownFormat, "only files of the reader's format are read");
    Check(picture.width() > 0 && picture.height() > 0, "an accepted picture has pixels");
    Check(int64_t{picture.width()} * picture.height() <= kMaxPicturePixels, "within the limits");
    return true;
}

} // namespace panelgrab::fuzz
