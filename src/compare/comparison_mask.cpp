#include "compare/comparison_mask.h"

#include <algorithm>

namespace panelgrab {

bool Overlaps(const PictureRect& rect, int32_t width, int32_t height) {
    return rect.left <= rect.right && rect.top <= rect.bottom && rect.left < width && rect.top < height &&
           rect.right >= 0 && rect.bottom >= 0;
}

ComparisonMask::ComparisonMask(const ComparisonOptions& options, int32_t width, int32_t height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
    compared_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
                     options.regions.empty() ? 1 : 0);
    for (const PictureRect& region : options.regions) {
        Fill(region, 1);
    }
    for (const PictureRect& ignored : options.ignores) {
        Fill(ignored, 0);
    }
    comparedCount_ = std::count(compared_.begin(), compared_.end(), uint8_t{1});
}

void ComparisonMask::Fill(const PictureRect& rect, uint8_t value) {
    if (!Overlaps(rect, width_, height_)) {
        return;
    }
    const int32_t left = std::max(rect.left, 0);
    const int32_t right = std::min(rect.right, width_ - 1);
    const int32_t bottom = std::min(rect.bottom, height_ - 1);
    for (int32_t y = std::max(rect.top, 0); y <= bottom; ++y) {
        auto row = compared_.begin() + static_cast<std::ptrdiff_t>(y) * width_;
        std::fill(row + left, row + right + 1, value);
    }
}

} // namespace panelgrab
