#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compare/picture.h"

namespace panelgrab {

// The picture as a PNG file in memory (8-bit RGB, no alpha). False with a reason for an empty picture
// or when the encoder fails; `png` is then left alone.
bool EncodePngPicture(const Picture& picture, std::vector<uint8_t>& png, std::string& error);

} // namespace panelgrab
