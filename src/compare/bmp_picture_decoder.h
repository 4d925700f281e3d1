#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "compare/picture.h"
#include "compare/picture_file_status.h"

namespace panelgrab {

// Decodes an uncompressed 24- or 32-bit BMP file (BITMAPINFOHEADER or one of its longer successors,
// rows bottom-up or top-down; 32-bit pixels as BGRX or with the standard BGRA bit fields). The
// alpha byte is ignored. Anything else is refused with a message saying what it is; `picture` is
// only changed on success.
PictureFileStatus DecodeBmpPicture(std::span<const uint8_t> bytes, Picture& picture, std::string& error);

// True when the bytes start like a BMP file.
bool LooksLikeBmp(std::span<const uint8_t> bytes);

} // namespace panelgrab
