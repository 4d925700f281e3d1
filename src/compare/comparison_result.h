#pragma once

#include <cstdint>
#include <string>

#include "compare/picture_rect.h"

namespace panelgrab {

enum class ComparisonVerdict {
    Match,         // no pixel differs, or no more than the allowance
    Differ,        // more pixels differ than allowed
    SizeMismatch,  // the pictures' sizes differ: nothing was compared
    RegionOutside, // a region lies wholly outside the pictures: nothing was compared
};

// What a comparison found.
struct ComparisonResult {
    ComparisonVerdict verdict = ComparisonVerdict::Match;
    int64_t comparedPixels = 0;    // pixels looked at (inside the regions, outside the ignored areas)
    int64_t differingPixels = 0;   // pixels with a channel beyond the tolerance
    int64_t allowedPixels = 0;     // the allowance the verdict used
    PictureRect bounds;            // of the differing pixels; meaningful when there are any
    int32_t largestDifference = 0; // the largest channel difference among the compared pixels
    int32_t width = 0;             // the picture's size
    int32_t height = 0;
    int32_t referenceWidth = 0; // the reference's size
    int32_t referenceHeight = 0;
    std::string problem; // RegionOutside: which region

    bool matches() const { return verdict == ComparisonVerdict::Match; }

    // One line: "match", "differ: 1234 pixels in (10,200)-(175,219), largest channel difference
    // 255", the size mismatch, or the problem.
    std::string Summary() const;
};

} // namespace panelgrab
