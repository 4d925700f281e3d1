#include "compare/diff_picture.h"

#include <algorithm>

#include "compare/comparison_mask.h"

namespace panelgrab {

namespace {

bool Inside(const Picture& picture, int32_t x, int32_t y) {
    return x < picture.width() && y < picture.height();
}

} // namespace

Rgb DiffPicture::Washed(Rgb colour) {
    // Rec. 601 luma, then two thirds of the way to white: the picture stays recognisable while any
    // strong colour stands out against it.
    const int luma = (77 * colour.r + 150 * colour.g + 29 * colour.b) >> 8;
    const auto grey = static_cast<uint8_t>(255 - (255 - luma) / 3);
    return {grey, grey, grey};
}

Rgb DiffPicture::Masked(Rgb colour, int32_t x, int32_t y) {
    if ((x + y) % 6 == 0) {
        return kHatching;
    }
    const auto tint = static_cast<uint8_t>(Washed(colour).r * 3 / 4);
    return {tint, tint, 255};
}

bool DiffPicture::Draw(const Picture& reference, const Picture& picture, const PictureComparison& comparison,
                       Picture& diff) {
    const int32_t width = std::max(reference.width(), picture.width());
    const int32_t height = std::max(reference.height(), picture.height());
    Picture drawn;
    if (!drawn.Resize(width, height)) {
        return false;
    }
    const ComparisonMask mask(comparison.options(), width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const bool inReference = Inside(reference, x, y);
            const bool inPicture = Inside(picture, x, y);
            if (!inReference && !inPicture) {
                drawn.Set(x, y, kDiffering); // a corner only the size difference makes
                continue;
            }
            const Rgb base = inReference ? reference.At(x, y) : picture.At(x, y);
            if (!mask.Compared(x, y)) {
                drawn.Set(x, y, Masked(base, x, y));
            } else if (!inReference || !inPicture || comparison.Differs(base, picture.At(x, y))) {
                drawn.Set(x, y, kDiffering);
            } else {
                drawn.Set(x, y, Washed(base));
            }
        }
    }
    diff = std::move(drawn);
    return true;
}

} // namespace panelgrab
