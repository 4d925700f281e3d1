#pragma once

#include <cstdint>
#include <string>

namespace panelgrab {

// A rectangle of display pixels; all four bounds are inclusive, as the phone and the command line
// write regions.
struct DisplayRegion {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend bool operator==(const DisplayRegion&, const DisplayRegion&) = default;
};

// "(left,top)-(right,bottom)".
inline std::string ToString(const DisplayRegion& region) {
    return "(" + std::to_string(region.left) + "," + std::to_string(region.top) + ")-(" +
           std::to_string(region.right) + "," + std::to_string(region.bottom) + ")";
}

} // namespace panelgrab
