#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/display_bitmap.h"

namespace panelgrab {

// The picture as a PNG file in memory (8-bit RGB, no alpha). False with a reason for a picture
// without pixel rows or when the encoder fails.
bool EncodePng(const DisplayBitmap& picture, std::vector<uint8_t>& png, std::string& error);

// Writes the picture as a PNG file; an existing file is replaced only once the new one is whole.
bool WritePngFile(const DisplayBitmap& picture, const std::string& path, std::string& error);

} // namespace panelgrab
