#include <csignal>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/cli_runner.h"

int main(int argc, char** argv) {
    // A reader that goes away (`listen | head -n1`) must end a command through its normal way out,
    // which switches the phone's reporting off and closes the port, not kill it mid-exchange.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    panelgrab::cli::CliIo io{std::cout, std::cerr, isatty(STDERR_FILENO) == 1};
    return panelgrab::cli::RunCli(args, io);
}
