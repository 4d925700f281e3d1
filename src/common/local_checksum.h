#pragma once

#include <cstddef>
#include <cstdint>

namespace panelgrab {

// The local checksum of a rectangle (bounds inclusive) over a display's hexadecimal picture text:
// a 32-bit sum that wraps. -1 without data; 0 for an empty rectangle or an unknown format.
// Never reads past `dataSize` characters (missing characters count as 0).
int32_t ChecksumOf(const char* data, std::size_t dataSize, uint8_t bitsPerPixel, uint32_t lineLength,
                   uint16_t width, uint16_t left, uint16_t top, uint16_t right, uint16_t bottom,
                   bool widePixels);

} // namespace panelgrab
