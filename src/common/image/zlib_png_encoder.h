#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/image/picture.h"

namespace panelgrab {

// The picture as a PNG file, encoded on zlib. It makes the very bytes libpng's simplified writer
// makes with the same zlib (the tests hold it to that): IHDR (8-bit RGB), sRGB, IDAT chunks of
// 8 KiB, IEND; each row filtered as libpng chooses (the filter with the smallest sum of signed
// magnitudes), deflated with libpng's parameters. So a capture saved as PNG is the same file on
// every system. False with a reason for an empty picture.
bool EncodePngWithZlib(const Picture& picture, std::vector<uint8_t>& png, std::string& error);

} // namespace panelgrab
