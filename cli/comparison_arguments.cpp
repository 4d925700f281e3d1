#include "cli/comparison_arguments.h"

#include <filesystem>
#include <limits>

#include "cli/numbered_file_name.h"
#include "cli/value_parsing.h"

namespace panelgrab::cli {

namespace {

bool AddRegion(std::string_view option, std::string_view value, std::vector<PictureRect>& target,
               std::string& error) {
    std::string why;
    const std::optional<DisplayRegion> region = ParseRegion(value, why);
    if (!region) {
        error = std::string(option) + ": " + why;
        return false;
    }
    target.push_back({region->left, region->top, region->right, region->bottom});
    return true;
}

bool Refuse(std::string text, std::string& error) {
    error = std::move(text);
    return false;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ignored;
    return a == b || std::filesystem::equivalent(a, b, ignored);
}

} // namespace

bool AddComparisonRegion(ComparisonArguments& arguments, std::string_view value, std::string& error) {
    arguments.tuned = true;
    return AddRegion("--region", value, arguments.options.regions, error);
}

bool AddIgnoredRegion(ComparisonArguments& arguments, std::string_view value, std::string& error) {
    arguments.tuned = true;
    return AddRegion("--ignore", value, arguments.options.ignores, error);
}

bool SetTolerance(ComparisonArguments& arguments, std::string_view value, std::string& error) {
    arguments.tuned = true;
    const std::optional<int64_t> tolerance = ParseInteger(value, 0, 255);
    if (!tolerance) {
        error = "--tolerance needs a channel difference from 0 to 255, not '" + std::string(value) + "'";
        return false;
    }
    arguments.options.tolerance = static_cast<int32_t>(*tolerance);
    return true;
}

bool SetMaxDiffPixels(ComparisonArguments& arguments, std::string_view value, std::string& error) {
    arguments.tuned = true;
    const std::optional<int64_t> count = ParseInteger(value, 0, std::numeric_limits<int64_t>::max());
    if (!count) {
        error = "--max-diff-pixels needs a pixel count of 0 or more, not '" + std::string(value) + "'";
        return false;
    }
    arguments.options.maxDifferingPixels = *count;
    return true;
}

bool SetDiffFile(ComparisonArguments& arguments, std::string_view value, std::string& error) {
    if (value.empty() || value == "-") {
        error = "--diff needs a file name (a .png name is written as PNG, any other as BMP)";
        return false;
    }
    arguments.diffFile = value;
    return true;
}

bool SetExpectFile(ComparisonArguments& arguments, std::string_view value, std::string& error) {
    if (value.empty()) {
        error = "--expect needs the reference picture's file name";
        return false;
    }
    arguments.expectFile = value;
    return true;
}

bool SetEvery(ComparisonArguments& arguments, std::string_view value, std::string& error) {
    arguments.every = ParseSeconds(value);
    if (!arguments.every) {
        error = "--every needs a number of seconds such as 2 or 0.5, not '" + std::string(value) + "'";
        return false;
    }
    return true;
}

bool TakeCompareFiles(const std::vector<std::string>& words, ComparisonArguments& arguments,
                      std::string& error) {
    if (words.size() != 2) {
        error = "compare takes two picture files: the REFERENCE and the PICTURE to check";
        return false;
    }
    arguments.files = words;
    return true;
}

bool CheckCompareArguments(const ComparisonArguments& arguments, std::string& error) {
    if (!arguments.diffFile.empty()) {
        for (const std::string& file : arguments.files) {
            if (SameFile(arguments.diffFile, file)) {
                return Refuse("--diff " + arguments.diffFile + " would overwrite a picture being compared",
                              error);
            }
        }
    }
    return true;
}

bool CheckGrabArguments(const ComparisonArguments& arguments, const std::string& output, bool limited,
                        bool background, std::string& error) {
    const bool expecting = !arguments.expectFile.empty();
    if (expecting && arguments.every) {
        return Refuse("--expect checks one picture; it does not go with --every", error);
    }
    if (expecting && output == "-") {
        return Refuse("--expect prints its verdict on stdout, which -o - already fills with the picture",
                      error);
    }
    if (arguments.changedOnly && !arguments.every) {
        return Refuse("--changed-only goes with --every", error);
    }
    if (limited && !arguments.every) {
        return Refuse("grab takes --count and --seconds only with --every", error);
    }
    if (arguments.tuned && !expecting && !arguments.changedOnly) {
        return Refuse(
            "--region, --ignore, --tolerance and --max-diff-pixels tune a comparison: give --expect "
            "REF, or --every with --changed-only",
            error);
    }
    if (!arguments.diffFile.empty() && !expecting) {
        return Refuse("--diff goes with --expect", error);
    }
    if (expecting && !arguments.diffFile.empty() && SameFile(arguments.diffFile, arguments.expectFile)) {
        return Refuse("--diff " + arguments.diffFile + " would overwrite the reference", error);
    }
    if (!arguments.every) {
        return true;
    }
    if (background) {
        return Refuse("--every reads at once; it does not go with --background or --region-checksum", error);
    }
    if (output.empty()) {
        return Refuse("--every needs -o with a numbered file name, e.g. -o 'shot-%03d.png'", error);
    }
    std::string why;
    if (!NumberedFileName::Parse(output, why)) {
        return Refuse("-o " + output + ": " + why, error);
    }
    return true;
}

} // namespace panelgrab::cli
