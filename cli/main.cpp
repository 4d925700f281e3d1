#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/console.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args = panelgrab::cli::CommandLineArguments(argc, argv);
    const bool errIsTerminal = panelgrab::cli::PrepareStandardStreams();
    panelgrab::cli::CliIo io{std::cout, std::cerr, errIsTerminal};
    return panelgrab::cli::RunCli(args, io);
}
