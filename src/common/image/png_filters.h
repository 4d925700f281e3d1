#pragma once

#include <cstdint>
#include <cstdlib>

namespace panelgrab {

// The PNG row filters, numbered as in a scanline's first byte.
enum PngFilter : uint8_t { kPngNone, kPngSub, kPngUp, kPngAverage, kPngPaeth, kPngFilterCount };

// What `filter` predicts for a byte from its left, upper and upper-left neighbours (0 outside the
// picture): the encoder stores the byte minus this, the decoder adds it back.
inline int PngPrediction(PngFilter filter, int left, int up, int upLeft) {
    switch (filter) {
    case kPngSub:
        return left;
    case kPngUp:
        return up;
    case kPngAverage:
        return (left + up) >> 1;
    case kPngPaeth: {
        const int pa = std::abs(up - upLeft);
        const int pb = std::abs(left - upLeft);
        const int pc = std::abs(up - upLeft + left - upLeft);
        if (pa <= pb && pa <= pc) {
            return left;
        }
        return pb <= pc ? up : upLeft;
    }
    default:
        return 0;
    }
}

} // namespace panelgrab
