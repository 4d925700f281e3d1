#pragma once

#include <array>
#include <cstdint>

namespace panelgrab::sim {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;

// Rows of a 5x7 glyph, top first; bit 4 is the leftmost pixel. Letters are upper case whatever
// case is asked for; characters without a glyph come out as a box, so nothing vanishes silently.
std::array<uint8_t, kGlyphHeight> GlyphRows(char c);

} // namespace panelgrab::sim
