#include "cli/watch_arguments.h"

#include "cli/numbered_file_name.h"
#include "cli/value_parsing.h"

namespace panelgrab::cli {

bool SetFullEvery(std::optional<double>& fullEvery, std::string_view value, std::string& error) {
    fullEvery = ParseSeconds(value);
    if (!fullEvery || *fullEvery > kLongestFullEverySeconds) {
        error = "--full-every needs a number of seconds from 0 (never) to 2000000, not '" +
                std::string(value) + "'";
        return false;
    }
    return true;
}

bool CheckWatchArguments(const ComparisonArguments& arguments, const std::string& output,
                         std::string& error) {
    if (arguments.changedOnly && output.empty()) {
        error = "watch --changed-only decides which pictures to write: give -o with a numbered file name, "
                "e.g. -o 'live-%04d.png'";
        return false;
    }
    if (arguments.tuned && !arguments.changedOnly) {
        error = "--region, --ignore, --tolerance and --max-diff-pixels tune --changed-only; watch without it "
                "compares nothing";
        return false;
    }
    if (output.empty()) {
        return true;
    }
    if (output == "-") {
        error = "watch prints a line per refresh on stdout; -o needs a numbered file name, not -";
        return false;
    }
    std::string why;
    if (!NumberedFileName::Parse(output, why)) {
        error = "-o " + output + ": " + why;
        return false;
    }
    return true;
}

} // namespace panelgrab::cli
