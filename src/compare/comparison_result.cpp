#include "compare/comparison_result.h"

namespace panelgrab {

namespace {

std::string Size(int32_t width, int32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string Where(const ComparisonResult& result) {
    const char* unit = result.differingPixels == 1 ? " pixel in " : " pixels in ";
    return std::to_string(result.differingPixels) + unit + ToString(result.bounds) +
           ", largest channel difference " + std::to_string(result.largestDifference);
}

} // namespace

std::string ComparisonResult::Summary() const {
    switch (verdict) {
    case ComparisonVerdict::Match:
        if (comparedPixels == 0) {
            return "match (no pixel was compared: the ignored areas cover everything else)";
        }
        if (differingPixels > 0) {
            return "match: " + Where(*this) + "; up to " + std::to_string(allowedPixels) + " may differ";
        }
        return "match";
    case ComparisonVerdict::Differ:
        return "differ: " + Where(*this) +
               (allowedPixels > 0 ? "; only " + std::to_string(allowedPixels) + " may differ" : "");
    case ComparisonVerdict::SizeMismatch:
        return "differ: the picture is " + Size(width, height) + ", the reference " +
               Size(referenceWidth, referenceHeight);
    case ComparisonVerdict::RegionOutside:
        break;
    }
    return problem;
}

} // namespace panelgrab
