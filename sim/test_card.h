#pragma once

#include <string>
#include <vector>

#include "sim/picture_source.h"

namespace panelgrab::sim {

// The built-in picture: colour bars, a grey ramp, red/green/blue ramps (every bit of every channel
// changes somewhere), one-pixel lines and a checker, a few lines of text and a one-pixel white
// frame, so that a wrong bit, shift or line pitch in a client's decoding shows.
Picture DrawTestCard(int width, int height, const std::vector<std::string>& textLines);

} // namespace panelgrab::sim
