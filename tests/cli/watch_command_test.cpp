// watch: its command line, and the live view it prints and writes, run in this process and as the
// built program against the simulated phone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "background/live_view_task.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/cli_runner.h"
#include "cli/exit_codes.h"

namespace panelgrab::cli {
namespace {

using test::Outcome;
using test::ReadFile;
using test::RunInProcess;
using test::ScratchFolder;
using test::Shell;

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// One refresh line: time, lines, bytes, checksums, milliseconds, then the full-read mark and the file.
const std::regex
    kRefreshLine(R"(time_s=\d+\.\d{3} lines=(\d+) bytes=\d+ checksums=\d+ ms=\d+\.\d( full)?( file=(\S+))?)");

TEST(WatchArguments, OptionsAndTheirCombinations) {
    const ParseOutcome parsed =
        ParseArguments({"--port", "sim", "watch", "--display", "1", "--full-every", "2.5", "-o", "w-%03d.png",
                        "--changed-only", "--ignore", "1,1,2,2", "--count", "3"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->command, Command::Watch);
    EXPECT_EQ(parsed.options->display, 1);
    EXPECT_EQ(parsed.options->fullEvery, 2.5);
    EXPECT_EQ(parsed.options->output, "w-%03d.png");
    EXPECT_TRUE(parsed.options->compare.changedOnly);
    EXPECT_EQ(parsed.options->count, 3);
    const ParseOutcome plain = ParseArguments({"--port", "sim", "watch"});
    ASSERT_TRUE(plain.options) << plain.error;
    EXPECT_EQ(plain.options->output, "") << "watch writes no picture unless asked";

    const struct {
        Args args;
        const char* expected;
    } cases[] = {
        {{"watch"}, "needs --port"},
        {{"--port", "sim", "watch", "--changed-only"}, "give -o"},
        {{"--port", "sim", "watch", "-o", "live.png"}, "-o live.png:"},
        {{"--port", "sim", "watch", "-o", "-"}, "not -"},
        {{"--port", "sim", "watch", "--full-every", "-1"}, "--full-every"},
        {{"--port", "sim", "watch", "--full-every", "3000000"}, "--full-every"},
        {{"--port", "sim", "watch", "--ignore", "0,0,1,1"}, "tune --changed-only"},
        {{"--port", "sim", "watch", "--diff", "d.png"}, "--diff does not apply to watch"},
        {{"--port", "sim", "watch", "--every", "1"}, "--every does not apply to watch"},
        {{"--port", "sim", "grab", "--full-every", "1"}, "--full-every does not apply to grab"},
        {{"--port", "sim", "watch", "extra"}, "takes no argument"},
    };
    for (const auto& c : cases) {
        const ParseOutcome outcome = ParseArguments(c.args);
        EXPECT_FALSE(outcome.options.has_value()) << ::testing::PrintToString(c.args);
        EXPECT_NE(outcome.error.find(c.expected), std::string::npos) << outcome.error;
    }
}

TEST(WatchCommand, OneLinePerRefreshAndAPictureForEachThatFetchedLines) {
    ScratchFolder folder;
    const Outcome run = RunInProcess({"--port", "sim:--animate=highlight,--animate-period=60", "watch",
                                      "--count", "6", "-o", folder / "w-%03d.bmp"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    std::size_t files = 0;
    bool narrowed = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kRefreshLine)) << lines[i];
        EXPECT_EQ(m[2].matched, i == 0) << "the first refresh, and only it, is a full read: " << lines[i];
        const int fetched = std::stoi(m[1]);
        narrowed = narrowed || (i > 0 && fetched > 0 && fetched < 40);
        if (m[4].matched) {
            ++files;
            EXPECT_GT(fetched, 0) << lines[i];
            EXPECT_GT(ReadFile(m[4].str()).size(), 176u * 220 * 3) << m[4];
        }
    }
    EXPECT_TRUE(lines[0].find("lines=220 ") != std::string::npos) << lines[0];
    EXPECT_GE(files, 1u);
    EXPECT_TRUE(narrowed) << "the highlight's moves should cost a few lines:\n" << run.out;
    EXPECT_EQ(folder.Count(), files);
    EXPECT_TRUE(
        run.err.ends_with("6 refreshes (1 full read), " + std::to_string(files) + " pictures written\n"))
        << run.err;
}

TEST(WatchCommand, ChangedOnlyWritesNothingNewWhenOnlyIgnoredRowsChange) {
    ScratchFolder folder;
    // The highlight moves over the list rows from y=138 on; they are ignored.
    const Outcome run =
        RunInProcess({"--port", "sim:--animate=highlight,--animate-period=60", "watch", "--count", "5", "-o",
                      folder / "c-%d.png", "--changed-only", "--ignore", "0,130,175,219"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(folder.Count(), 1u) << "the first picture (of refresh 1, or a later one collected with it)";
    EXPECT_TRUE(run.err.ends_with("5 refreshes (1 full read), 1 picture written\n")) << run.err;
}

TEST(WatchCommand, APhoneWithoutChecksumsIsSaidOnceAndEveryRefreshIsFull) {
    const Outcome run = RunInProcess({"--port", "sim:--fault=no-checksum", "watch", "--count", "3"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    const std::string notice = LiveViewTask::kNoticeNoChecksums;
    const std::size_t at = run.err.find(notice);
    ASSERT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(notice, at + 1), std::string::npos) << "said once";
    for (const std::string& line : Lines(run.out)) {
        EXPECT_TRUE(line.ends_with(" full") && line.find("lines=220 ") != std::string::npos) << line;
    }
    EXPECT_EQ(Lines(run.out).size(), 3u);
}

TEST(WatchCommand, APhoneThatGoesAwayEndsItWithTheReason) {
    const Outcome run = RunInProcess({"--port", "sim:--fault=hangup-after=60000", "watch"});
    EXPECT_EQ(run.exitCode, kExitFailed);
    EXPECT_NE(run.err.find("the live view ended: "), std::string::npos) << run.err;
    EXPECT_TRUE(run.err.ends_with("0 refreshes (0 full reads)\n")) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST(WatchProgram, EndsCleanlyOnSigtermAndOnAClosedOutput) {
    ScratchFolder folder;
    const std::string program = PANELGRAB_CLI_PROGRAM;
    const std::string out = folder / "out.txt";
    const std::string err = folder / "err.txt";
    // SIGTERM once two refreshes are printed (a slow build may take a while to get going).
    const int terminated = Shell("sh -c ': >" + out + "; " + program + " --fast-timing --port sim watch >" +
                                 out + " 2>" + err + " & pid=$!; n=0; while [ \"$(wc -l <" + out +
                                 ")\" -lt 2 ] && [ $n -lt 3000 ]; do sleep 0.01; n=$((n+1)); done; "
                                 "kill -TERM $pid; wait $pid'");
    EXPECT_EQ(terminated, kExitOk) << ReadFile(err);
    const std::size_t printed = Lines(ReadFile(out)).size();
    EXPECT_GE(printed, 2u);
    EXPECT_TRUE(ReadFile(err).ends_with(std::to_string(printed) + " refreshes (1 full read)\n"))
        << ReadFile(err);

    // A reader that goes away after two lines: the program notices at the next line and stops.
    const int piped = Shell("(" + program + " --fast-timing --port sim watch --seconds 60 2>" + err +
                            "; echo $? >" + folder / "status" + ") | head -n 2 >/dev/null");
    EXPECT_EQ(piped, 0);
    EXPECT_EQ(ReadFile(folder / "status"), "0\n");
    EXPECT_NE(ReadFile(err).find("refreshes (1 full read)"), std::string::npos) << ReadFile(err);
}

} // namespace
} // namespace panelgrab::cli
