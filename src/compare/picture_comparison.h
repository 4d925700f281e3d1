#pragma once

#include <string>

#include "common/image/picture.h"
#include "compare/comparison_options.h"
#include "compare/comparison_result.h"

namespace panelgrab {

// Compares a picture with a reference pixel by pixel, under one set of options.
//
//   PictureComparison comparison({.ignores = {{140, 2, 173, 10}}, .tolerance = 2});
//   ComparisonResult result = comparison.Compare(reference, picture);
//   if (!result.matches()) std::puts(result.Summary().c_str());
class PictureComparison {
public:
    explicit PictureComparison(ComparisonOptions options);

    ComparisonResult Compare(const Picture& reference, const Picture& picture) const;

    // Why the options cannot be used on a width x height picture (a region wholly outside it), or
    // an empty text when they can.
    std::string RegionProblem(int32_t width, int32_t height) const;

    // The larger channel difference of two pixels.
    static int32_t ChannelDifference(Rgb a, Rgb b);
    // True when two pixels count as different under the tolerance.
    bool Differs(Rgb a, Rgb b) const { return ChannelDifference(a, b) > options_.tolerance; }

    const ComparisonOptions& options() const { return options_; }

private:
    ComparisonOptions options_;
};

} // namespace panelgrab
