#pragma once

#include <cstdint>
#include <string>

namespace panelgrab {

// A rectangle of pixels; all four bounds are inclusive, as the command line writes regions.
struct PictureRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend bool operator==(const PictureRect&, const PictureRect&) = default;
};

// "(left,top)-(right,bottom)".
inline std::string ToString(const PictureRect& rect) {
    return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")";
}

} // namespace panelgrab
