#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compare/comparison_options.h"

namespace panelgrab::cli {

// What the command line says about comparing pictures (compare, grab --expect, grab
// --changed-only) and about repeated capture (grab --every).
struct ComparisonArguments {
    std::vector<std::string> files; // compare: the reference, then the picture
    ComparisonOptions options;      // --region (also checksum's), --ignore, --tolerance, --max-diff-pixels
    bool tuned = false;             // one of those options was given
    std::string diffFile;           // --diff
    std::string expectFile;         // grab --expect
    std::optional<double> every;    // grab --every SECONDS
    bool changedOnly = false;       // grab --changed-only
};

// Option values; false with a message in `error` for a malformed one.
bool AddComparisonRegion(ComparisonArguments& arguments, std::string_view value, std::string& error);
bool AddIgnoredRegion(ComparisonArguments& arguments, std::string_view value, std::string& error);
bool SetTolerance(ComparisonArguments& arguments, std::string_view value, std::string& error);
bool SetMaxDiffPixels(ComparisonArguments& arguments, std::string_view value, std::string& error);
bool SetDiffFile(ComparisonArguments& arguments, std::string_view value, std::string& error);
bool SetExpectFile(ComparisonArguments& arguments, std::string_view value, std::string& error);
bool SetEvery(ComparisonArguments& arguments, std::string_view value, std::string& error);

// compare's two file names.
bool TakeCompareFiles(const std::vector<std::string>& words, ComparisonArguments& arguments,
                      std::string& error);

// The combinations compare accepts.
bool CheckCompareArguments(const ComparisonArguments& arguments, std::string& error);
// The combinations grab accepts with its other options: the output file (or pattern), whether a
// --count or --seconds limit, --background or --region-checksum was given.
bool CheckGrabArguments(const ComparisonArguments& arguments, const std::string& output, bool limited,
                        bool background, std::string& error);

} // namespace panelgrab::cli
