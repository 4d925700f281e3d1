#pragma once

#include <string>

#include <pybind11/pybind11.h>

namespace panelgrab::python {

// Text from the phone library (UTF-8) as a Python str. Bytes that are no UTF-8 become U+FFFD instead
// of raising: a phone's odd answer must reach the script, not end it.
pybind11::str TextOf(const std::string& text);

} // namespace panelgrab::python
