#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/image/picture.h"
#include "common/image/picture_file_status.h"

namespace panelgrab {

// Decodes a BMP file: OS/2 (BITMAPCOREHEADER) and Windows headers up to V5; 1-, 4- and 8-bit
// palette pictures, also run-length encoded (RLE4, RLE8); 16-bit pictures as 5-5-5, 5-6-5 or any
// bit fields; 24- and 32-bit ones, 32 bits as BGRX or with bit fields; rows bottom-up or top-down.
// Channels narrower than 8 bits are stretched to 0..255 (rounded), wider ones cut to their top 8
// bits; alpha is ignored. Anything else is refused with a message saying what it is; `picture` is
// only changed on success.
PictureFileStatus DecodeBmpPicture(std::span<const uint8_t> bytes, Picture& picture, std::string& error);

// True when the bytes start like a BMP file.
bool LooksLikeBmp(std::span<const uint8_t> bytes);

} // namespace panelgrab
