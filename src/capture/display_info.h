#pragma once

#include <cstdint>
#include <vector>

namespace panelgrab {

// One display of the phone, as its display list describes it.
struct DisplayInfo {
    DisplayInfo() = default;
    DisplayInfo(uint16_t w, uint16_t h, uint8_t bpp, uint32_t lineLen, uint16_t number)
        : width(w), height(h), bitsPerPixel(bpp), lineLength(lineLen), displayNumber(number) {}

    uint16_t width = 0;         // pixels per display line
    uint16_t height = 0;        // display lines
    uint8_t bitsPerPixel = 0;   // 1, 2, 8 and 16 are decoded; others are kept and decode to nothing
    uint32_t lineLength = 0;    // hexadecimal characters one display line takes in the picture data
    uint16_t displayNumber = 0; // 0 for the first display, 1 for the second

    bool operator==(const DisplayInfo&) const = default;
};

using DisplayList = std::vector<DisplayInfo>;

// Largest display side we read. Phones have displays of a few hundred pixels; a phone reporting
// more than this is refused instead of allocating gigabytes for a nonsense answer.
inline constexpr uint32_t kMaxDisplaySide = 4096;
// Largest picture text we allocate for one display (characters).
inline constexpr uint64_t kMaxPictureCharacters = 64ull * 1024 * 1024;

// Whether a read of the display is attempted at all: its sides and picture text within the limits.
inline bool IsReadableDisplay(const DisplayInfo& entry) {
    return entry.width <= kMaxDisplaySide && entry.height <= kMaxDisplaySide &&
           uint64_t{entry.height} * entry.lineLength <= kMaxPictureCharacters;
}

} // namespace panelgrab
