#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "compare/picture.h"
#include "compare/picture_file_status.h"

namespace panelgrab {

// Decodes a PNG file through libpng: grey, grey with alpha, palette, RGB and RGBA of any bit depth,
// interlaced or not. Palettes and grey are expanded to RGB, 16-bit channels scaled to 8 bits, alpha
// dropped; the stored values are taken as they are (no gamma or colour-profile correction), as a
// pixel-by-pixel comparison wants them. `picture` is only changed on success.
PictureFileStatus DecodePngPicture(std::span<const uint8_t> bytes, Picture& picture, std::string& error);

// True when the bytes start with the PNG signature.
bool LooksLikePng(std::span<const uint8_t> bytes);

} // namespace panelgrab
