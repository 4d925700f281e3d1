#pragma once

#include "common/display_region.h"

namespace panelgrab {

// A rectangle of picture pixels, bounds inclusive: the display's own region type.
using PictureRect = DisplayRegion;

} // namespace panelgrab
