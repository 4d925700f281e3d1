#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "cli/comparison_arguments.h"
#include "common/image/picture.h"
#include "compare/picture_comparison.h"

namespace panelgrab::cli {

// Writes the pictures of a series (grab --every, watch -o), each under its own name. With
// --changed-only a picture that matches the last one written, as the comparison options judge it,
// is left out.
class PictureSeries {
public:
    explicit PictureSeries(const ComparisonArguments& compare)
        : changedOnly_(compare.changedOnly), comparison_(compare.options) {}

    // Why the comparison's regions do not fit a display of these sides; empty when they do, or
    // when nothing is compared.
    std::string RegionProblem(int32_t width, int32_t height) const {
        return changedOnly_ ? comparison_.RegionProblem(width, height) : std::string();
    }

    enum class Outcome { Written, Unchanged, Failed };
    // Written: the picture is in `name`; Unchanged: nothing was written; Failed: `error` says why.
    Outcome Write(const Picture& picture, const std::string& name, std::ostream& out, std::string& error);

    int64_t written() const { return written_; }

private:
    bool changedOnly_;
    PictureComparison comparison_;
    std::optional<Picture> lastWritten_;
    int64_t written_ = 0;
};

} // namespace panelgrab::cli
