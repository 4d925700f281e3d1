#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/image/picture.h"

namespace panelgrab::sim {

// A display's pixel format: bits per pixel and whether the phone sends 2- and 16-bit pixels as
// 8-character "00RRGGBB" groups (phones with the long display description do).
struct PixelFormat {
    int bitsPerPixel = 16;
    bool widePixels = false;
};

// The display's own pixel value for a colour: the nearest the format can show.
uint32_t NearestCode(Rgb colour, int bitsPerPixel);

// The colour a correct client decodes from a pixel value sent in `format`.
Rgb DecodedColour(uint32_t code, PixelFormat format);

// The hexadecimal text of consecutive pixel values. 1-bit and narrow 2-bit pixels share characters
// (4 and 2 a character, first pixel in the highest bits, the last character padded with zero bits);
// the other formats take 2, 4 or 8 characters a pixel.
std::string EncodeCodes(const std::vector<uint32_t>& codes, PixelFormat format);

} // namespace panelgrab::sim
