#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace panelgrab {

// Inflates a PNG file's image data, given as its IDAT pieces in order, into `out`: exactly
// `expected` bytes (what the header calls for), the zlib stream ending there, checksum included,
// with nothing left over. `out` grows with the data actually inflated, so a small file that claims
// a large picture never gets the large buffer, and a stream that would inflate to more (a
// compression bomb) is refused as soon as it passes `expected`. False with a reason otherwise;
// std::bad_alloc when memory runs out.
bool InflatePngImageData(const std::vector<std::span<const uint8_t>>& pieces, std::size_t expected,
                         std::vector<uint8_t>& out, std::string& why);

} // namespace panelgrab
