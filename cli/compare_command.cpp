#include "cli/compare_command.h"

#include "cli/comparison_report.h"
#include "cli/exit_codes.h"

namespace panelgrab::cli {

int RunCompare(const CliOptions& options, CliIo& io) {
    const ComparisonArguments& arguments = options.compare;
    Picture reference;
    Picture picture;
    if (!ReadPictureToCompare(arguments.files[0], reference, io) ||
        !ReadPictureToCompare(arguments.files[1], picture, io)) {
        return kExitUsage;
    }
    return ReportComparison(arguments, reference, picture, io);
}

} // namespace panelgrab::cli
