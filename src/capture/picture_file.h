#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/display_bitmap.h"
#include "common/image/picture_file_writer.h"

namespace panelgrab {

// A display's picture in the image module's formats (see common/image/picture_file_writer.h).

// Writes the picture in the format its name asks for; an existing file is replaced only once the new
// one is whole. False with the reason in `error`, also for a name of no known format.
bool WritePictureFile(const DisplayBitmap& picture, const std::string& path, std::string& error);

// The picture as a PNG file in memory (8-bit RGB, no alpha). False with a reason for a picture
// without pixel rows.
bool EncodePng(const DisplayBitmap& picture, std::vector<uint8_t>& png, std::string& error);

// Writes the picture as a PNG file, whatever its name.
bool WritePngFile(const DisplayBitmap& picture, const std::string& path, std::string& error);

} // namespace panelgrab
