#pragma once

#include <memory>

#include <pybind11/pybind11.h>

#include "python/screen.h"

namespace panelgrab::python {

// A Screen from a PNG file's bytes, for pictures that came from elsewhere (a lab server). It has no
// picture text, so its region_checksum() raises PictureError. Raises PictureError for bytes that
// are no usable PNG.
std::shared_ptr<Screen> ScreenFromPng(const pybind11::bytes& png);

} // namespace panelgrab::python
