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

// The pieces that file is made of, for writers of other PNG-based files (the animated one).
// `value` big-endian into out[0..3].
void PutPngInt32(uint8_t* out, uint32_t value);
// Appends a chunk to `out`: length, type (4 letters), data and the CRC of type and data.
void PutPngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, std::size_t size);
// The picture's rows filtered and deflated as the image data of an 8-bit RGB PNG, before it is cut
// into chunks. False when zlib refuses.
bool CompressPngImageData(const Picture& picture, std::vector<uint8_t>& compressed);

} // namespace panelgrab
