#pragma once
// libpng as the judge of our PNG codec: its reader set up to give what ours must give (8-bit RGB,
// alpha dropped, no gamma), and its simplified writer, whose bytes our encoder must match. Only
// tests and fuzz targets use it; the program itself reads and writes PNG on zlib alone.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/image/picture.h"
#include "common/image/picture_file_status.h"

namespace panelgrab {

// Decodes a PNG file through libpng, with the statuses and messages our decoder gives.
PictureFileStatus DecodePngWithLibpng(std::span<const uint8_t> bytes, Picture& picture, std::string& error);

// A non-empty picture as libpng's simplified writer makes it (8-bit RGB).
bool EncodePngWithLibpng(const Picture& picture, std::vector<uint8_t>& png, std::string& error);

} // namespace panelgrab
