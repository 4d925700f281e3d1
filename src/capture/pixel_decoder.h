#pragma once

#include <cstddef>
#include <cstdint>

namespace panelgrab {

// Decodes `height` display lines of hexadecimal text (line j at j x lineLength) into 24-bit rows
// (blue, green, red; each row padded to a multiple of 4 bytes). Reads never go past `dataSize`
// characters (missing characters count as 0) and writes never past `pixelBytes`. Always true.
bool DecodeRows(uint16_t width, uint16_t height, uint8_t bitsPerPixel, uint16_t lineLength, const char* data,
                std::size_t dataSize, uint8_t* pixels, std::size_t pixelBytes, bool widePixels);

} // namespace panelgrab
