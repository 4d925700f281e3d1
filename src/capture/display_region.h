#pragma once

#include <cstdint>

namespace panelgrab {

// A rectangle of display pixels; all four bounds are inclusive.
struct DisplayRegion {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

} // namespace panelgrab
