#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace panelgrab {

// Expands the run-length encoded pixels of an RLE8 (`bitsPerIndex` 8) or RLE4 (4) BMP picture into
// one palette index a pixel, `indices` holding width x height of them, bottom row first as in the
// file. Pixels the data skips (by a delta or an early end of line) keep index 0, runs past the
// right edge are cut there. False with a reason when the data ends before its end-of-picture mark
// and the last row.
bool ExpandBmpRle(std::span<const uint8_t> data, int bitsPerIndex, int32_t width, int32_t height,
                  std::vector<uint8_t>& indices, std::string& why);

} // namespace panelgrab
