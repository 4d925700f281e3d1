#pragma once

#include <cstdint>
#include <string_view>

namespace panelgrab {

// Copies the characters of an "AT*ZIPI=l,f,c" answer into dest: from two characters after the
// first ':' up to a carriage return or the end, at most `room` of them. Returns how many were stored.
uint32_t ExtractPixelLine(std::string_view answer, char* dest, uint32_t room);

// True when an answer to "AT*ZISI=?" describes its displays in the long form (a number after the
// third field's comma). Such phones send 8 characters for 2- and 16-bit pixels.
bool IsLongListForm(std::string_view answer);

// What one text of the bulk picture stream meant.
enum class BulkHarvest {
    More,  // digits taken, the picture goes on
    Done,  // the final OK began
    Error, // the first text was an error answer: the phone has no bulk read
};

// Takes the hex digits of one text of the bulk stream. Each digit is stored at position `received`
// of `data` while that is below `capacity`, and counted in any case. A capital 'O' ends the picture.
// An "ERROR" in the first text, or in any text before the first digit, means the request was
// refused. On the first text digits start only two characters after the first ':' (skipping the
// echo and the answer's prefix).
BulkHarvest HarvestBulkText(std::string_view text, bool first, char* data, uint32_t capacity,
                            uint32_t& received);

} // namespace panelgrab
