#pragma once

#include <ostream>
#include <string>

#include "common/image/picture.h"

namespace panelgrab::cli {

// Where grab puts a picture: "-" is the BMP on `out`; a name ending in .png (any case) a PNG file;
// anything else a BMP file (the command line lets -o name only .bmp and .png files). False with a
// reason in `error`.
bool SavePicture(const Picture& picture, const std::string& target, std::ostream& out, std::string& error);

// Whether -o may name `target`: "-" or a name ending in .bmp or .png. False with the reason.
bool IsPictureTarget(const std::string& target, std::string& error);

} // namespace panelgrab::cli
