#pragma once
// Running command lines of panelgrab-cli in the tests' own process, and reading what they wrote.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"

namespace panelgrab::cli::test {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a command line in this process against fast port timing.
inline Outcome RunInProcess(std::vector<std::string> args) {
    args.insert(args.begin(), "--fast-timing");
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{out, err, false};
    const int exitCode = RunCli(args, io);
    return {exitCode, out.str(), err.str()};
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace panelgrab::cli::test
