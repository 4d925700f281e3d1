#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "capture/display_info.h"

namespace panelgrab {

// True when the answer to the display-image test holds "ERROR" in any letter case: the phone then
// speaks the picture-line dialect.
bool AnswerReportsError(std::string_view answer);

// The displays of an answer to "AT*ZISI=?": the long form "H, W, BPP, (a - b), H2, W2, BPP2" (2, 3, 5
// or 8 numbers) or the short form "(H),(W),(x)". An answer of neither form gives an empty list.
DisplayList ParseZisiDisplayList(std::string_view answer);

// The first six runs of decimal digits of an answer to "AT*ZIPI=?"; missing runs are 0. Values that
// overflow 32 bits wrap.
std::array<uint32_t, 6> ParseZipiGroups(std::string_view answer);

// Size of the display that the line and column ranges describe (last line and last column + 1).
struct ZipiSize {
    uint32_t width = 0;
    uint32_t height = 0;
};
ZipiSize ZipiDisplaySize(const std::array<uint32_t, 6>& groups);

// The entry of a picture-line phone whose line 0 came back with `lineCharacters` characters: the
// bits per pixel follow from characters per pixel. The 128 x 160 display always sends 16-bit pixels.
DisplayInfo ZipiDisplayEntry(ZipiSize size, uint32_t lineCharacters);

} // namespace panelgrab
