#pragma once

#include <ostream>
#include <string>

#include "capture/display_bitmap.h"

namespace panelgrab::cli {

// Where grab puts a picture: "-" is the BMP on `out`; a name ending in .png (any case) a PNG file;
// anything else a BMP file. False with a reason in `error`.
bool SavePicture(const DisplayBitmap& picture, const std::string& target, std::ostream& out,
                 std::string& error);

// True when the file name asks for PNG.
bool IsPngName(const std::string& path);

} // namespace panelgrab::cli
