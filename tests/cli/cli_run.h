#pragma once
// Running panelgrab-cli in the tests' own process and as the built program, simulated phones to run
// it against, and the pictures they show.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "capture/display_bitmap.h"
#include "cli/cli_runner.h"
#include "cli/command_words.h"
#include "common/image/bmp_encoder.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "support/scratch_folder.h"

namespace panelgrab::cli::test {

using panelgrab::test::ReadFile;
using panelgrab::test::ScratchFolder;

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

// A path in the temporary folder no other call names; the caller removes what it creates there.
inline std::string UniquePath() {
    static std::atomic<int> calls{0};
    return (std::filesystem::temp_directory_path() /
            ("panelgrab-cli-" + std::to_string(getpid()) + "-run-" + std::to_string(++calls)))
        .string();
}

// Runs a shell command line with no input; its streams go to files, so neither can block the other.
inline Outcome Shell(const std::string& command) {
    const std::string base = UniquePath();
    const int status =
        std::system(("(" + command + ") </dev/null >" + base + ".out 2>" + base + ".err").c_str());
    Outcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(base + ".out"),
                ReadFile(base + ".err")};
    std::filesystem::remove(base + ".out");
    std::filesystem::remove(base + ".err");
    return run;
}

// Runs the built program with these (shell) arguments.
inline Outcome RunProgram(const std::string& args) {
    return Shell(std::string(PANELGRAB_CLI_PROGRAM) + " " + args);
}

// Runs the built program in the background and sends it SIGTERM once the shell condition `ready`
// holds (or after 30 s: a slow build may take a while to get going).
inline Outcome TerminateOnceReady(const std::string& args, const std::string& ready) {
    return Shell("sh -c '" + std::string(PANELGRAB_CLI_PROGRAM) + " --fast-timing " + args +
                 " & pid=$!; n=0; until " + ready +
                 " || [ $n -ge 3000 ]; do sleep 0.01; n=$((n+1)); done; "
                 "kill -TERM $pid; wait $pid'");
}

// Runs the built program with its output read by a reader that goes away after `lines` lines: the
// program's exit code and errors, and the lines read.
inline Outcome ReadFirstLines(const std::string& args, int lines) {
    const std::string status = UniquePath();
    Outcome run = Shell("(" + std::string(PANELGRAB_CLI_PROGRAM) + " --fast-timing " + args + "; echo $? >" +
                        status + ") | head -n " + std::to_string(lines));
    const std::string code = ReadFile(status);
    run.exitCode = code.empty() ? -1 : std::stoi(code);
    std::filesystem::remove(status);
    return run;
}

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

inline sim::SimOptions SimOptionsOf(const std::vector<std::string>& args) {
    sim::SimOptions options;
    std::string error;
    EXPECT_TRUE(sim::ParseSimOptions(args, options, error)) << error;
    return options;
}

// A simulated phone with these options, serving; null (and a failure) when it cannot start.
inline std::unique_ptr<sim::SimulatedPhone> StartPhone(const std::vector<std::string>& args = {}) {
    auto phone = std::make_unique<sim::SimulatedPhone>(SimOptionsOf(args));
    std::string error;
    if (!phone->Start(error)) {
        ADD_FAILURE() << "simulated phone: " << error;
        return nullptr;
    }
    return phone;
}

// The BMP file of what display `index` of a simulated phone with these options shows, made without
// a capture: a reference that does not come from the phone.
inline std::string ExpectedBmp(const std::vector<std::string>& simArgs = {}, std::size_t index = 0) {
    const Picture expected = sim::ExpectedPicture(SimOptionsOf(simArgs), index);
    const std::vector<uint8_t> bytes = EncodeBmp(expected);
    return {bytes.begin(), bytes.end()};
}

} // namespace panelgrab::cli::test
