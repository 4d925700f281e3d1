#pragma once

#include <string>
#include <string_view>

#include "capture/display_bitmap.h"

namespace panelgrab {

// The file formats a picture is written in, chosen by the file name's suffix.
enum class PictureFileFormat { Bmp, Png, Unknown };

// The format a file name asks for: a last name part ending in .bmp or .png, in any letter case.
// Unknown for every other name, also for a bare ".png" (a hidden file's name, not a suffix).
PictureFileFormat PictureFormatOfName(std::string_view path);

// Writes the picture in the format its name asks for; an existing file is replaced only once the new
// one is whole. False with the reason in `error`, also for a name of no known format.
bool WritePictureFile(const DisplayBitmap& picture, const std::string& path, std::string& error);

} // namespace panelgrab
