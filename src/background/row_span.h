#pragma once

#include <cstdint>

namespace panelgrab {

// Display rows first..last, both inclusive.
struct RowSpan {
    int32_t first = 0;
    int32_t last = 0;

    bool operator==(const RowSpan&) const = default;
};

} // namespace panelgrab
