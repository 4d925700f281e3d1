#pragma once

#include <string>
#include <vector>

#include "cli/cli_io.h"

namespace panelgrab::cli {

// Runs one command line (the arguments after the program name) and returns the exit status.
int RunCli(const std::vector<std::string>& args, CliIo& io);

} // namespace panelgrab::cli
