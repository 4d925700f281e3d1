#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/cli_runner.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    panelgrab::cli::CliIo io{std::cout, std::cerr, isatty(STDERR_FILENO) == 1};
    return panelgrab::cli::RunCli(args, io);
}
