#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "compare/picture.h"
#include "compare/picture_file_status.h"

namespace panelgrab {

// Decodes a PNG file directly on zlib, for systems without libpng (the Windows build), with the
// contract of DecodePngPicture: every colour type and bit depth, interlaced or not, turned into the
// very pixels the libpng path gives, and the same statuses for files it refuses. The image data is
// inflated into a buffer of the size the (bounded) header calls for; a stream that holds more is
// refused, so a small file cannot make it allocate more. `picture` is only changed on success.
PictureFileStatus DecodePngWithZlib(std::span<const uint8_t> bytes, Picture& picture, std::string& error);

} // namespace panelgrab
