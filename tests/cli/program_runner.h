#pragma once

#include <string>
#include <vector>

namespace panelgrab::cli::testing {

// The outcome of one run of the built panelgrab-cli.
struct ProgramRun {
    int exitCode = -1; // -1: did not exit normally
    std::string out;
    std::string err;
};

// Runs the built program with the arguments and collects its output (through files, so neither
// stream can block the other).
ProgramRun RunProgram(const std::vector<std::string>& args);

} // namespace panelgrab::cli::testing
