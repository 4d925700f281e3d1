#pragma once

#include <memory>
#include <string>

#include <pybind11/pybind11.h>

#include "common/image/picture.h"
#include "compare/comparison_options.h"
#include "compare/comparison_result.h"

namespace panelgrab::python {

// What Screen.compare found, and what it needs to draw the diff picture afterwards.
class Comparison {
public:
    Comparison(const ComparisonResult& result, ComparisonOptions options,
               std::shared_ptr<const Picture> reference, std::shared_ptr<const Picture> picture);

    const ComparisonResult& result() const { return result_; }
    // "match", "differ" or "size mismatch".
    const char* Verdict() const;
    // (left, top, right, bottom) of the differing pixels, inclusive; None when none differ.
    pybind11::object Bbox() const;
    // Writes the diff picture (PNG for a .png name, else BMP). Raises PictureError.
    void SaveDiff(const std::string& path) const;

private:
    ComparisonResult result_;
    ComparisonOptions options_;
    std::shared_ptr<const Picture> reference_;
    std::shared_ptr<const Picture> picture_;
};

} // namespace panelgrab::python
