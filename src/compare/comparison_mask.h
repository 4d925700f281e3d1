#pragma once

#include <cstdint>
#include <vector>

#include "compare/comparison_options.h"

namespace panelgrab {

// Which pixels of a width x height picture a comparison looks at: the regions (or everything)
// less the ignored areas.
class ComparisonMask {
public:
    ComparisonMask(const ComparisonOptions& options, int32_t width, int32_t height);

    // (x, y) must lie inside the picture.
    bool Compared(int32_t x, int32_t y) const {
        return compared_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                         static_cast<std::size_t>(x)] != 0;
    }
    int64_t ComparedCount() const { return comparedCount_; }

private:
    void Fill(const PictureRect& rect, uint8_t value);

    int32_t width_;
    int32_t height_;
    std::vector<uint8_t> compared_;
    int64_t comparedCount_ = 0;
};

// True when the rectangle shares at least one pixel with a width x height picture.
bool Overlaps(const PictureRect& rect, int32_t width, int32_t height);

} // namespace panelgrab
