#pragma once

#include <cstdint>
#include <vector>

#include "compare/picture_rect.h"

namespace panelgrab {

// What a comparison looks at and how strict it is.
struct ComparisonOptions {
    // Only these areas are compared (their union); none: the whole picture. Parts beyond the
    // picture are cut off; a region wholly outside it is an error, not a silent "match".
    std::vector<PictureRect> regions{};
    // Never compared, even inside a region: a clock, a signal bar.
    std::vector<PictureRect> ignores{};
    // A pixel differs when one of its channels differs by more than this (0-255).
    int32_t tolerance = 0;
    // The pictures still match with up to this many differing pixels.
    int64_t maxDifferingPixels = 0;
};

} // namespace panelgrab
