// watch: the live view it prints and writes, run in this process and as the built program against
// the simulated phone.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "background/live_view_task.h"
#include "cli/cli_run.h"
#include "cli/exit_codes.h"

namespace panelgrab::cli {
namespace {

using namespace test;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// One refresh line: time, lines, bytes, checksums, milliseconds, then the full-read mark and the file.
const std::regex kRefreshLine(
    R"(time_s=\d+\.\d{3} lines=(\d+) pixels=\d+ bytes=\d+ checksums=\d+ ms=\d+\.\d( full)?( file=(\S+))?)");

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

TEST(WatchCommand, PhoneFaultsAreSaidAndAGonePhoneEndsIt) {
    const Outcome run = RunInProcess({"--port", "sim:--fault=no-checksum", "watch", "--count", "3"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    const std::size_t said = run.err.find(LiveViewTask::kNoticeNoChecksums);
    ASSERT_NE(said, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(LiveViewTask::kNoticeNoChecksums, said + 1), std::string::npos) << "said once";
    const std::vector<std::string> lines = Lines(run.out);
    EXPECT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
        EXPECT_TRUE(line.ends_with(" full") && line.find("lines=220 ") != std::string::npos) << line;
    }

    const Outcome gone = RunInProcess({"--port", "sim:--fault=hangup-after=60000", "watch"});
    EXPECT_EQ(gone.exitCode, kExitFailed);
    EXPECT_NE(gone.err.find("the live view ended: "), std::string::npos) << gone.err;
    EXPECT_TRUE(gone.err.ends_with("0 refreshes (0 full reads)\n")) << gone.err;
    EXPECT_EQ(gone.out, "");
}

TEST(WatchProgram, EndsCleanlyOnSigtermAndOnAClosedOutput) {
    ScratchFolder folder;
    const std::string out = folder / "out.txt";
    // SIGTERM once two refreshes are printed.
    const Outcome terminated =
        TerminateOnceReady("--port sim watch >" + out, "[ \"$(wc -l <" + out + ")\" -ge 2 ]");
    EXPECT_EQ(terminated.exitCode, kExitOk) << terminated.err;
    const std::size_t printed = Lines(ReadFile(out)).size();
    EXPECT_GE(printed, 2u);
    EXPECT_TRUE(terminated.err.ends_with(std::to_string(printed) + " refreshes (1 full read)\n"))
        << terminated.err;

    // A reader that goes away after two lines: the program notices at the next line and stops.
    const Outcome piped = ReadFirstLines("--port sim watch --seconds 60", 2);
    EXPECT_EQ(piped.exitCode, kExitOk) << piped.err;
    EXPECT_NE(piped.err.find("refreshes (1 full read)"), std::string::npos) << piped.err;
}

} // namespace
} // namespace panelgrab::cli
