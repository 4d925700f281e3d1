// Screens as test evidence against the simulated phone: captures compared with references, a
// changed picture found where it changed (or ignored), and
// repeated capture that writes exactly the changed pictures and ends cleanly.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <regex>
#include <tuple>

#include "cli/cli_run.h"
#include "cli/exit_codes.h"
#include "common/image/picture_file_reader.h"
#include "compare/diff_picture.h"

namespace panelgrab::cli {
namespace {

using namespace test;

Picture ReadPicture(const std::string& path) {
    Picture picture;
    std::string error;
    EXPECT_EQ(PictureFileReader::Read(path, picture, error), PictureFileStatus::Ok) << error;
    return picture;
}

TEST(CompareEndToEnd, GrabMatchesItsReferencesAndFindsAChangedBlock) {
    ScratchFolder folder;
    const auto phone = StartPhone();
    ASSERT_TRUE(phone);
    const std::string port = phone->DevicePath();
    ASSERT_EQ(RunInProcess({"--port", port, "grab", "-o", folder / "ref.png"}).exitCode, kExitOk);
    const Outcome again = RunInProcess({"--port", port, "grab", "--expect", folder / "ref.png"});
    EXPECT_EQ(std::tie(again.exitCode, again.out), std::tuple(kExitOk, "match\n")) << again.err;
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"ref.png"}) << "--expect without -o writes nothing";

    std::ofstream(folder / "expected.bmp", std::ios::binary) << ExpectedBmp();
    const Outcome independent = RunInProcess(
        {"--port", port, "grab", "--expect", folder / "expected.bmp", "-o", folder / "capture.bmp"});
    EXPECT_EQ(std::tie(independent.exitCode, independent.out), std::tuple(kExitOk, "match\n"))
        << independent.err;
    EXPECT_NE(independent.err.find("wrote " + folder / "capture.bmp"), std::string::npos);

    // A black block on the yellow bar. The 16-bit display shows yellow as (248,252,0), so green
    // changes most, by 252.
    Picture changed = sim::ExpectedPicture(SimOptionsOf({}), 0);
    for (int y = 20; y <= 29; ++y) {
        for (int x = 22; x <= 43; ++x) {
            uint8_t* p = changed.Row(y) + 3 * x;
            ASSERT_TRUE(p[0] == 248 && p[1] == 252 && p[2] == 0) << "not the yellow bar at " << x << "," << y;
            p[0] = p[1] = 0;
        }
    }
    ASSERT_TRUE(phone->ShowPicture(0, changed));

    const Outcome differ =
        RunInProcess({"--port", port, "grab", "--expect", folder / "ref.png", "--diff", folder / "diff.png"});
    EXPECT_EQ(differ.exitCode, kExitDiffers) << differ.err;
    EXPECT_EQ(differ.out, "differ: 220 pixels in (22,20)-(43,29), largest channel difference 252\n");
    const Picture diff = ReadPicture(folder / "diff.png");
    // The diff picture's making is the comparison's (tests/compare): here it is the file asked for.
    EXPECT_EQ(diff.At(22, 20), DiffPicture::kDiffering);
    EXPECT_NE(diff.At(21, 20), DiffPicture::kDiffering);

    const struct {
        std::vector<std::string> options;
        int exitCode;
    } cases[] = {
        // Each option reaches the comparison, whose edges are its own (tests/compare).
        {{"--region", "0,0,21,219"}, kExitOk},                             // left of the block
        {{"--ignore", "22,20,43,24", "--ignore", "22,25,43,29"}, kExitOk}, // the block ignored, in halves
        {{"--max-diff-pixels", "220"}, kExitOk},
        {{"--tolerance", "252"}, kExitOk},
        {{"--region", "176,0,200,10"}, kExitUsage}, // outside the display
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--port", port, "grab", "--expect", folder / "ref.png"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome run = RunInProcess(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << testing::PrintToString(c.options) << run.out << run.err;
    }
}

TEST(CompareEndToEnd, ChangedOnlyWritesExactlyTheChangedPictures) {
    ScratchFolder folder;
    const auto phone = StartPhone({"--animate", "--animate-period=40"});
    ASSERT_TRUE(phone);
    const Outcome run = RunInProcess({"--port", phone->DevicePath(), "grab", "--every", "0.015", "--count",
                                      "12", "--changed-only", "-o", folder / "shot-%02d.png"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;

    // What the phone showed for each capture tells which pictures had changed.
    const std::vector<uint64_t> versions = phone->WholePictureVersions();
    ASSERT_EQ(versions.size(), 12u);
    std::vector<std::string> expectedNames;
    std::string expectedOut;
    for (std::size_t i = 0; i < versions.size(); ++i) {
        if (i == 0 || versions[i] != versions[i - 1]) {
            char name[32];
            std::snprintf(name, sizeof name, "shot-%02zu.png", i + 1);
            expectedNames.emplace_back(name);
            expectedOut += folder / name + "\n";
        }
    }
    ASSERT_GT(expectedNames.size(), 1u) << "the animation did not move during 12 captures 15 ms apart";
    EXPECT_EQ(folder.Names(), expectedNames) << "files, and nothing half-written beside them";
    EXPECT_EQ(run.out, expectedOut);
    EXPECT_TRUE(
        run.err.ends_with("12 pictures taken, " + std::to_string(expectedNames.size()) + " written\n"))
        << run.err;
    for (std::size_t i = 1; i < expectedNames.size(); ++i) {
        EXPECT_NE(ReadPicture(folder / expectedNames[i - 1]), ReadPicture(folder / expectedNames[i])) << i;
    }
}

// The counts of the last line, "N pictures taken, M written" (or "1 picture taken, ..."); -1 for
// both when there is none.
std::pair<int, int> TakenAndWritten(const std::string& err) {
    std::smatch m;
    if (!std::regex_search(err, m, std::regex(R"((\d+) pictures? taken, (\d+) written\n)"))) {
        return {-1, -1};
    }
    return {std::stoi(m[1]), std::stoi(m[2])};
}

TEST(CompareProgram, RepeatedCaptureEndsCleanlyOnSigtermAndOnAClosedOutput) {
    ScratchFolder folder;
    // SIGTERM while it captures, once the first picture is there: the picture in hand is dropped
    // (the port is closed under it), every file written is whole, then the count and the status.
    const Outcome terminated = TerminateOnceReady("--port sim grab --every 0.02 -o " + folder / "t-%03d.bmp",
                                                  "[ -e " + folder / "t-001.bmp" + " ] && sleep 0.1");
    EXPECT_EQ(terminated.exitCode, 128 + SIGTERM) << terminated.err;
    const auto [taken, written] = TakenAndWritten(terminated.err);
    EXPECT_GE(taken, 1) << terminated.err;
    EXPECT_EQ(written, taken);
    const std::vector<std::string> names = folder.Names();
    EXPECT_EQ(static_cast<int>(names.size()), written) << testing::PrintToString(names);
    const Picture card = sim::ExpectedPicture(SimOptionsOf({}), 0);
    for (const std::string& name : names) {
        EXPECT_EQ(ReadPicture(folder / name), card) << name << " is not a whole picture";
    }

    // A reader that goes away after two names: the program notices at the next name and stops.
    const Outcome piped =
        ReadFirstLines("--port sim grab --every 0.01 --count 300 -o " + folder / "p-%03d.png", 2);
    EXPECT_EQ(piped.exitCode, kExitOk) << piped.err;
    const auto [pipedTaken, pipedWritten] = TakenAndWritten(piped.err);
    EXPECT_GE(pipedTaken, 2) << piped.err;
    EXPECT_LT(pipedTaken, 300) << "it went on after its output was closed";
    EXPECT_EQ(pipedWritten, pipedTaken);
    EXPECT_EQ(static_cast<int>(folder.Count() - names.size()), pipedWritten);
}

} // namespace
} // namespace panelgrab::cli
