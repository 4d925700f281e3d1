#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/image/picture.h"
#include "common/image/picture_file_status.h"

namespace panelgrab {

// Decodes a PNG file on zlib: grey, grey with alpha, palette, RGB and RGBA of every bit depth,
// interlaced or not. Palettes and grey are expanded to RGB, 16-bit channels scaled to 8 bits as
// libpng's png_set_scale_16 does, alpha dropped; the stored values are taken as they are (no gamma
// or colour-profile correction), as a pixel-by-pixel comparison wants them. Files are accepted and
// refused as libpng does. The image data is inflated into a buffer of the size the (bounded) header
// calls for; a stream that holds more is refused, so a small file cannot make it allocate more.
// `picture` is only changed on success.
PictureFileStatus DecodePngPicture(std::span<const uint8_t> bytes, Picture& picture, std::string& error);

// True when the bytes start with the PNG signature.
bool LooksLikePng(std::span<const uint8_t> bytes);

} // namespace panelgrab
