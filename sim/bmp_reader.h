#pragma once

#include <string>

#include "sim/picture_source.h"

namespace panelgrab::sim {

// Reads an uncompressed 24- or 32-bit BMP file (rows bottom-up or top-down) into `image`.
// False with a message naming the file and the reason otherwise; `image` is then untouched.
bool ReadBmpFile(const std::string& path, RgbImage& image, std::string& error);

// The same for a BMP file's bytes already in memory.
bool DecodeBmp(const std::string& bytes, RgbImage& image, std::string& error);

} // namespace panelgrab::sim
