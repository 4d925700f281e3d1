#pragma once

#include <cstdint>
#include <vector>

#include "common/image/picture.h"

namespace panelgrab {

// The picture as a 24-bit BMP file: BITMAPINFOHEADER, rows bottom-up, each padded to 4 bytes. An
// empty picture gives a valid file of no pixels.
std::vector<uint8_t> EncodeBmp(const Picture& picture);

} // namespace panelgrab
