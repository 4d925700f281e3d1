#include "compare/picture_comparison.h"

#include <algorithm>
#include <cstdlib>

#include "compare/comparison_mask.h"

namespace panelgrab {

PictureComparison::PictureComparison(ComparisonOptions options) : options_(std::move(options)) {}

int32_t PictureComparison::ChannelDifference(Rgb a, Rgb b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

std::string PictureComparison::RegionProblem(int32_t width, int32_t height) const {
    for (const PictureRect& region : options_.regions) {
        if (!Overlaps(region, width, height)) {
            return "the region " + ToString(region) + " lies outside the " + std::to_string(width) + "x" +
                   std::to_string(height) + " picture";
        }
    }
    return {};
}

ComparisonResult PictureComparison::Compare(const Picture& reference, const Picture& picture) const {
    ComparisonResult result;
    result.width = picture.width();
    result.height = picture.height();
    result.referenceWidth = reference.width();
    result.referenceHeight = reference.height();
    result.allowedPixels = options_.maxDifferingPixels;
    if (picture.width() != reference.width() || picture.height() != reference.height()) {
        result.verdict = ComparisonVerdict::SizeMismatch;
        return result;
    }
    result.problem = RegionProblem(picture.width(), picture.height());
    if (!result.problem.empty()) {
        result.verdict = ComparisonVerdict::RegionOutside;
        return result;
    }
    const ComparisonMask mask(options_, picture.width(), picture.height());
    result.comparedPixels = mask.ComparedCount();
    PictureRect& box = result.bounds;
    for (int32_t y = 0; y < picture.height(); ++y) {
        for (int32_t x = 0; x < picture.width(); ++x) {
            if (!mask.Compared(x, y)) {
                continue;
            }
            const int32_t difference = ChannelDifference(reference.At(x, y), picture.At(x, y));
            result.largestDifference = std::max(result.largestDifference, difference);
            if (difference <= options_.tolerance) {
                continue;
            }
            if (result.differingPixels++ == 0) {
                box = {x, y, x, y};
            }
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                   std::max(box.bottom, y)};
        }
    }
    result.verdict = result.differingPixels > options_.maxDifferingPixels ? ComparisonVerdict::Differ
                                                                          : ComparisonVerdict::Match;
    return result;
}

} // namespace panelgrab
