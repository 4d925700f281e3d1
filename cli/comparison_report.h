#pragma once

#include <string>

#include "cli/cli_io.h"
#include "cli/comparison_arguments.h"
#include "common/image/picture.h"

namespace panelgrab::cli {

// Reads a picture file to compare; false after printing why (the message names the file).
bool ReadPictureToCompare(const std::string& path, Picture& picture, CliIo& io);

// Compares `picture` with `reference` under the arguments' options, prints the one-line verdict on
// `out` and writes the diff picture when --diff asks for one. Returns kExitOk for a match,
// kExitDiffers for a difference, kExitUsage when a region lies outside the pictures or the diff
// picture cannot be written.
int ReportComparison(const ComparisonArguments& arguments, const Picture& reference, const Picture& picture,
                     CliIo& io);

} // namespace panelgrab::cli
