#pragma once

#include <vector>

#include <pybind11/pybind11.h>

#include "common/display_region.h"
#include "compare/picture_rect.h"

namespace panelgrab::python {

// Regions as scripts write them: (left, top, right, bottom), all four bounds inclusive, as on the
// command line. A malformed one raises TypeError or ValueError naming what is wrong.
class RegionArgument {
public:
    // Largest coordinate a region may name.
    static constexpr int kMaxCoordinate = 65535;

    static DisplayRegion ToDisplayRegion(const pybind11::handle& value);
    static PictureRect ToPictureRect(const pybind11::handle& value);
    // None gives no rectangles; otherwise a sequence of regions.
    static std::vector<PictureRect> ToPictureRects(const pybind11::handle& value, const char* name);
};

} // namespace panelgrab::python
