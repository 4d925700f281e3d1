#include "cli/console.h"

#include <csignal>
#include <unistd.h>

namespace panelgrab::cli {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool PrepareStandardStreams() {
    // A reader that goes away (`listen | head -n1`) must end a command through its normal way out,
    // which switches the phone's reporting off and closes the port, not kill it mid-exchange.
    std::signal(SIGPIPE, SIG_IGN);
    return isatty(STDERR_FILENO) == 1;
}

} // namespace panelgrab::cli
