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

// Where the changes that are hard for sums happen, side by side in rows 100-107, each on a black
// ground of its own: two rows of different colours that trade contents on every step (8,100)-(47,101);
// a red and a blue pixel 11 apart in one row that trade places (56,100)-(71,100); a white 6 x 6
// block that moves one pixel right on every step, back to the left after 8 (80,100)-(111,107); a
// 2 x 2 white and black checkerboard that flips (120,100)-(121,101).
ScreenBox RowsTradeBox();
ScreenBox PixelsTradeBox();
ScreenBox MovingBlockBox();
ScreenBox CheckerBox();

// Draws step `step` of the animation onto `image`: the clock's text, the highlight (colours
// inverted) on row step % ListRowCount, and the hard changes' state at that step.
void DrawAnimationStep(Picture& image, const SimAnimation& animation, int64_t step);

// Comma-separated parts, any order: clock, highlight, rows, pixels, block, checker. False for
// anything else.
bool ParseAnimationParts(std::string_view text, SimAnimation& animation);

} // namespace panelgrab::sim
