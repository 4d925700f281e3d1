#pragma once

#include <string>
#include <string_view>

#include "common/image/picture.h"

namespace panelgrab {

// The file formats a picture is written in, chosen by the file name's suffix.
enum class PictureFileFormat { Bmp, Png, Unknown };

// The format a file name asks for: a last name part ending in .bmp or .png, in any letter case.
// Unknown for every other name, also for a bare ".png" (a hidden file's name, not a suffix).
PictureFileFormat PictureFormatOfName(std::string_view path);

// Writes the picture in `format` with WriteFileAtomically: an existing file is replaced only once
// the new one is whole. False with the reason in `error`, also for Unknown and for an empty picture
// as PNG.
bool WritePictureFile(const Picture& picture, PictureFileFormat format, const std::string& path,
                      std::string& error);

// The same in the format the name asks for.
bool WritePictureFile(const Picture& picture, const std::string& path, std::string& error);

} // namespace panelgrab
