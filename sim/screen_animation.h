#pragma once

#include <cstdint>
#include <string_view>

#include "sim/picture_source.h"
#include "sim/simulated_phone.h"

namespace panelgrab::sim {

// A rectangle of display pixels, all bounds inclusive.
struct ScreenBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Where --animate's clock sits on a display `width` pixels wide: a 34x9 box in the top-right
// corner, (width-36,2)-(width-3,10). It shows the steps since the phone started as MM:SS.
ScreenBox ClockBox(int width);

// The list rows the highlight moves between: the bands of the test card's text lines, at most four,
// as many as fit on the display. Row `row` (0 first) spans the display inside its one-pixel frame.
int ListRowCount(int width, int height);
ScreenBox ListRowBox(int width, int height, int row);

// Draws step `step` of the animation onto `image`: the clock's text, and the highlight (colours
// inverted) on row step % ListRowCount.
void DrawAnimationStep(Picture& image, const SimAnimation& animation, int64_t step);

// "clock", "highlight" or "clock,highlight" (either order). False for anything else.
bool ParseAnimationParts(std::string_view text, SimAnimation& animation);

} // namespace panelgrab::sim
