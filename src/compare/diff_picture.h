#pragma once

#include "common/image/picture.h"
#include "compare/picture_comparison.h"

namespace panelgrab {

// A picture that shows where two pictures differ: the reference washed out to light grey, the
// differing pixels in red, and the areas the comparison did not look at tinted blue with diagonal
// hatching. Pictures of different sizes give a diff covering both, where a pixel only one of them
// has counts as differing.
class DiffPicture {
public:
    static constexpr Rgb kDiffering{255, 0, 0};
    static constexpr Rgb kHatching{40, 80, 200};

    // False when the diff picture cannot be allocated.
    static bool Draw(const Picture& reference, const Picture& picture, const PictureComparison& comparison,
                     Picture& diff);

    // The reference pixel washed out to grey, as the diff shows it where nothing differs.
    static Rgb Washed(Rgb colour);
    // The same, tinted and hatched, for a pixel that was not compared.
    static Rgb Masked(Rgb colour, int32_t x, int32_t y);
};

} // namespace panelgrab
