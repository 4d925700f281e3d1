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

} // namespace panelgrab
