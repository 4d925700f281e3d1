#include <unistd.h>

#include "cli/console.h"

namespace panelgrab::cli {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool PrepareStandardStreams() {
    return isatty(STDERR_FILENO) == 1;
}

} // namespace panelgrab::cli
