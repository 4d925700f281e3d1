#pragma once
// Running command lines of panelgrab-cli in the tests' own process, and reading what they wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
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

// Runs a shell command line; its exit status.
inline int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A folder of the running test's own, removed with everything in it when the test ends.
class ScratchFolder {
public:
    ScratchFolder()
        : path_(std::filesystem::temp_directory_path() /
                ("panelgrab-cli-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // The names of the files in the folder, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::size_t Count() const { return Names().size(); }

private:
    std::filesystem::path path_;
};

} // namespace panelgrab::cli::test
