#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/image/picture.h"
#include "common/image/png_chunks.h"

namespace panelgrab {

// The size of the decompressed image data the header calls for: the rows of every Adam7 pass (or
// of the one pass of a plain picture), each led by its filter byte. Headers within the picture
// limits give at most some 130 MiB.
std::size_t PngScanlineBytes(const PngHeader& header);

// Undoes the row filters of the decompressed image data in place (it must have the size above) and
// turns the samples into 8-bit RGB pixels of `picture`, sized to the header beforehand: palette
// indices through `palette`, grey repeated into all three channels, low grey depths stretched to
// the full range, 16-bit samples scaled to 8 bits as libpng's png_set_scale_16 does, alpha dropped.
// False with a reason for an unknown filter type.
bool UnfilterPngScanlines(const PngChunks& chunks, std::span<uint8_t> scanlines, Picture& picture,
                          std::string& error);

} // namespace panelgrab
