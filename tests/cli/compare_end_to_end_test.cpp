// Screens as test evidence against the simulated phone: captures compared with references, a
// changed picture found where it changed, an animated phone matched with its clock ignored, and
// repeated capture that writes exactly the changed pictures and ends cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "capture/display_bitmap.h"
#include "cli/cli_run.h"
#include "cli/cli_runner.h"
#include "cli/exit_codes.h"
#include "compare/diff_picture.h"
#include "compare/picture_file_reader.h"
#include "sim/picture_source.h"
#include "sim/screen_animation.h"
#include "sim/simulated_phone.h"

namespace panelgrab::cli {
namespace {

using test::Outcome;
using test::ReadFile;
using test::RunInProcess;
using test::ScratchFolder;
using test::Shell;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

sim::SimOptions SimArgs(const std::vector<std::string>& args) {
    sim::SimOptions options;
    std::string error;
    EXPECT_TRUE(sim::ParseSimOptions(args, options, error)) << error;
    return options;
}

Picture ReadPicture(const std::string& path) {
    Picture picture;
    std::string error;
    EXPECT_EQ(PictureFileReader::Read(path, picture, error), PictureFileStatus::Ok) << error;
    return picture;
}

// What display 0 of a phone with these options shows, as a BMP file written with the capture
// library's writer but without a capture: a reference that does not come from the phone.
void WriteExpectedBmp(const sim::SimOptions& options, const std::string& path) {
    const sim::RgbImage expected = sim::ExpectedPicture(options, 0);
    DisplayBitmap bitmap;
    ASSERT_TRUE(
        bitmap.SetSize(static_cast<uint16_t>(expected.width), static_cast<uint16_t>(expected.height)));
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            std::reverse_copy(expected.At(x, y), expected.At(x, y) + 3,
                              bitmap.pixels() + y * bitmap.rowSize() + x * 3);
        }
    }
    ASSERT_TRUE(bitmap.WriteBmpFile(path));
}

// The bounding box of a "differ: N pixels in (L,T)-(R,B), ..." line.
std::optional<PictureRect> BoundsOf(const std::string& summary) {
    PictureRect box;
    int pixels = 0;
    if (std::sscanf(summary.c_str(), "differ: %d pixel%*[s] in (%d,%d)-(%d,%d), ", &pixels, &box.left,
                    &box.top, &box.right, &box.bottom) != 5 &&
        std::sscanf(summary.c_str(), "differ: %d pixel in (%d,%d)-(%d,%d), ", &pixels, &box.left, &box.top,
                    &box.right, &box.bottom) != 5) {
        return std::nullopt;
    }
    return box;
}

bool Within(const PictureRect& inner, const sim::ScreenBox& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST(CompareEndToEnd, CaptureMatchesItsOwnReferenceAndAnIndependentOne) {
    ScratchFolder folder;
    const Outcome reference = RunInProcess({"--port", "sim", "grab", "-o", folder / "ref.png"});
    ASSERT_EQ(reference.exitCode, kExitOk) << reference.err;

    const Outcome again = RunInProcess({"--port", "sim", "grab", "--expect", folder / "ref.png"});
    EXPECT_EQ(again.exitCode, kExitOk) << again.err;
    EXPECT_EQ(again.out, "match\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"ref.png"}) << "--expect without -o writes nothing";

    WriteExpectedBmp(SimArgs({}), folder / "expected.bmp");
    const Outcome independent = RunInProcess(
        {"--port", "sim", "grab", "--expect", folder / "expected.bmp", "-o", folder / "capture.bmp"});
    EXPECT_EQ(independent.exitCode, kExitOk) << independent.err;
    EXPECT_EQ(independent.out, "match\n");
    EXPECT_NE(independent.err.find("wrote " + folder / "capture.bmp"), std::string::npos);

    // The files compare equal too, whatever their formats.
    const Outcome files = RunInProcess({"compare", folder / "ref.png", folder / "capture.bmp"});
    EXPECT_EQ(files.exitCode, kExitOk) << files.err;
    EXPECT_EQ(files.out, "match\n");

    const Outcome missing = RunInProcess({"--port", "sim", "grab", "--expect", folder / "missing.png"});
    EXPECT_EQ(missing.exitCode, kExitUsage);
    EXPECT_NE(missing.err.find(folder / "missing.png" + ": cannot read it"), std::string::npos)
        << missing.err;
    EXPECT_EQ(missing.out, "");
}

TEST(CompareEndToEnd, ChangedPictureDiffersWithTheRightBoundingBox) {
    ScratchFolder folder;
    const sim::SimOptions options = SimArgs({});
    sim::SimulatedPhone phone(options);
    std::string error;
    ASSERT_TRUE(phone.Start(error)) << error;
    const std::string port = phone.DevicePath();
    ASSERT_EQ(RunInProcess({"--port", port, "grab", "-o", folder / "ref.bmp"}).exitCode, kExitOk);

    // A black block on the yellow bar. The 16-bit display shows yellow as (248,252,0), so green
    // changes most, by 252.
    sim::RgbImage changed = sim::ExpectedPicture(options, 0);
    for (int y = 20; y <= 29; ++y) {
        for (int x = 22; x <= 43; ++x) {
            uint8_t* p = &changed.rgb[(static_cast<std::size_t>(y) * changed.width + x) * 3];
            ASSERT_TRUE(p[0] == 248 && p[1] == 252 && p[2] == 0) << "not the yellow bar at " << x << "," << y;
            p[0] = p[1] = 0;
        }
    }
    ASSERT_TRUE(phone.ShowPicture(0, changed));

    const Outcome differ =
        RunInProcess({"--port", port, "grab", "--expect", folder / "ref.bmp", "--diff", folder / "diff.png"});
    EXPECT_EQ(differ.exitCode, kExitDiffers) << differ.err;
    EXPECT_EQ(differ.out, "differ: 220 pixels in (22,20)-(43,29), largest channel difference 252\n");
    const Picture diff = ReadPicture(folder / "diff.png");
    int red = 0;
    bool redOnlyInTheBlock = true;
    for (int32_t y = 0; y < diff.height(); ++y) {
        for (int32_t x = 0; x < diff.width(); ++x) {
            if (diff.At(x, y) == DiffPicture::kDiffering) {
                ++red;
                redOnlyInTheBlock = redOnlyInTheBlock && x >= 22 && x <= 43 && y >= 20 && y <= 29;
            }
        }
    }
    EXPECT_EQ(red, 220);
    EXPECT_TRUE(redOnlyInTheBlock);

    const struct {
        std::vector<std::string> options;
        int exitCode;
    } cases[] = {
        {{"--region", "0,0,21,219"}, kExitOk},        // left of the block
        {{"--region", "0,0,22,20"}, kExitDiffers},    // touching its corner
        {{"--ignore", "22,20,43,29"}, kExitOk},       // the block ignored
        {{"--ignore", "22,20,43,28"}, kExitDiffers},  // all but its last row
        {{"--max-diff-pixels", "220"}, kExitOk},      // allowed
        {{"--max-diff-pixels", "219"}, kExitDiffers}, // one too many
        {{"--tolerance", "251"}, kExitDiffers},       // 252 is beyond
        {{"--tolerance", "252"}, kExitOk},            // nothing is
        {{"--region", "176,0,200,10"}, kExitUsage},   // outside the display
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--port", port, "grab", "--expect", folder / "ref.bmp"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome run = RunInProcess(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << testing::PrintToString(c.options) << run.out << run.err;
    }
}

TEST(CompareEndToEnd, IgnoringTheClockMakesAnAnimatedPhoneMatch) {
    ScratchFolder folder;
    const struct {
        const char* animate;
        std::vector<std::string> ignores; // what to ignore to match
    } cases[] = {
        {"--animate=clock", {"--ignore", "140,2,173,10"}},
        {"--animate", {"--ignore", "140,2,173,10", "--ignore", "1,138,174,173"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.animate);
        sim::SimulatedPhone phone(SimArgs({c.animate, "--animate-period=20"}));
        std::string error;
        ASSERT_TRUE(phone.Start(error)) << error;
        const std::string port = phone.DevicePath();
        ASSERT_EQ(RunInProcess({"--port", port, "grab", "-o", folder / "ref.png"}).exitCode, kExitOk);
        std::this_thread::sleep_for(50ms); // more than two animation steps

        const Outcome plain = RunInProcess({"--port", port, "grab", "--expect", folder / "ref.png"});
        EXPECT_EQ(plain.exitCode, kExitDiffers) << plain.out << plain.err;
        const std::optional<PictureRect> bounds = BoundsOf(plain.out);
        ASSERT_TRUE(bounds) << plain.out;
        const sim::ScreenBox clock = sim::ClockBox(176);
        const sim::ScreenBox rows{1, sim::ListRowBox(176, 220, 0).top, 174,
                                  sim::ListRowBox(176, 220, 3).bottom};
        EXPECT_TRUE(Within(*bounds, clock) || std::string(c.animate) == "--animate") << plain.out;
        EXPECT_TRUE(
            Within(*bounds, {clock.left < rows.left ? clock.left : rows.left, clock.top, 174, rows.bottom}))
            << plain.out;

        std::this_thread::sleep_for(50ms);
        std::vector<std::string> args{"--port", port, "grab", "--expect", folder / "ref.png"};
        args.insert(args.end(), c.ignores.begin(), c.ignores.end());
        const Outcome masked = RunInProcess(args);
        EXPECT_EQ(masked.exitCode, kExitOk) << masked.out << masked.err;
        EXPECT_EQ(masked.out, "match\n");

        // Each capture saw another step of the animation, so the match is the masking's doing.
        const std::vector<uint64_t> versions = phone.WholePictureVersions();
        ASSERT_EQ(versions.size(), 3u);
        EXPECT_TRUE(versions[0] != versions[1] && versions[1] != versions[2]);
    }
}

TEST(CompareEndToEnd, ChangedOnlyWritesExactlyTheChangedPictures) {
    ScratchFolder folder;
    sim::SimulatedPhone phone(SimArgs({"--animate", "--animate-period=40"}));
    std::string error;
    ASSERT_TRUE(phone.Start(error)) << error;
    const Outcome run = RunInProcess({"--port", phone.DevicePath(), "grab", "--every", "0.015", "--count",
                                      "12", "--changed-only", "-o", folder / "shot-%02d.png"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;

    // What the phone showed for each capture tells which pictures had changed.
    const std::vector<uint64_t> versions = phone.WholePictureVersions();
    ASSERT_EQ(versions.size(), 12u);
    std::vector<std::string> expectedNames;
    std::string expectedOut;
    std::optional<uint64_t> lastWritten;
    for (std::size_t i = 0; i < versions.size(); ++i) {
        if (lastWritten == versions[i]) {
            continue;
        }
        lastWritten = versions[i];
        char name[32];
        std::snprintf(name, sizeof name, "shot-%02zu.png", i + 1);
        expectedNames.emplace_back(name);
        expectedOut += folder / name + "\n";
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

// The counts of the last line, "N pictures taken, M written" (or "1 picture taken, ...").
int64_t TakenIn(const std::string& err, int64_t& written) {
    const std::size_t start = err.rfind('\n', err.size() >= 2 ? err.size() - 2 : 0);
    std::string last = err.substr(start == std::string::npos ? 0 : start + 1);
    last.erase(0, std::min(last.find_first_of("0123456789"), last.size())); // after "panelgrab-cli: "
    long long taken = -1;
    long long files = -1;
    char noun[16] = {};
    if (std::sscanf(last.c_str(), "%lld %15s taken, %lld written", &taken, noun, &files) != 3) {
        written = -1;
        return -1;
    }
    written = files;
    return taken;
}

TEST(CompareProgram, RepeatedCaptureEndsCleanlyOnSigtermAndOnAClosedOutput) {
    ScratchFolder folder;
    const std::string program = PANELGRAB_CLI_PROGRAM;
    const std::string err = folder / "err.txt";

    // SIGTERM while it captures, once the first picture is there (a slow build may take a while to
    // get going): the picture in hand is finished, then the count.
    const int terminated = Shell("sh -c '" + program + " --fast-timing --port sim grab --every 0.02 -o " +
                                 folder / "t-%03d.bmp" + " >/dev/null 2>" + err +
                                 " & pid=$!; n=0; while [ ! -e " + folder / "t-001.bmp" +
                                 " ] && [ $n -lt 3000 ]; do sleep 0.01; n=$((n+1)); done; sleep 0.1; "
                                 "kill -TERM $pid; wait $pid'");
    EXPECT_EQ(terminated, kExitOk);
    int64_t written = 0;
    const int64_t taken = TakenIn(ReadFile(err), written);
    EXPECT_GE(taken, 1) << ReadFile(err);
    EXPECT_EQ(written, taken);
    std::vector<std::string> names = folder.Names();
    std::erase(names, "err.txt");
    EXPECT_EQ(static_cast<int64_t>(names.size()), written) << testing::PrintToString(names);
    Picture expected;
    const sim::RgbImage card = sim::ExpectedPicture(SimArgs({}), 0);
    ASSERT_TRUE(expected.Resize(card.width, card.height));
    std::copy(card.rgb.begin(), card.rgb.end(), expected.Row(0));
    for (const std::string& name : names) {
        EXPECT_EQ(ReadPicture(folder / name), expected) << name << " is not a whole picture";
    }

    // A reader that goes away after two names: the program notices at the next name and stops.
    const int piped = Shell("(" + program + " --fast-timing --port sim grab --every 0.01 --count 300 -o " +
                            folder / "p-%03d.png" + " 2>" + err + "; echo $? >" + folder / "status" +
                            ") | head -n 2 >/dev/null");
    EXPECT_EQ(piped, 0);
    EXPECT_EQ(ReadFile(folder / "status"), "0\n");
    const int64_t pipedTaken = TakenIn(ReadFile(err), written);
    EXPECT_GE(pipedTaken, 2) << ReadFile(err);
    EXPECT_LT(pipedTaken, 300) << "it went on after its output was closed";
    EXPECT_EQ(written, pipedTaken);
    int pngs = 0;
    for (const std::string& name : folder.Names()) {
        pngs += name.starts_with("p-") && name.ends_with(".png") ? 1 : 0;
    }
    EXPECT_EQ(pngs, written);
}

TEST(CompareProgram, CompareExitCodesAndMessages) {
    ScratchFolder folder;
    WriteExpectedBmp(SimArgs({}), folder / "card.bmp");
    WriteExpectedBmp(SimArgs({"--dialect=short"}), folder / "small.bmp");
    std::ofstream(folder / "notes.png") << "not a picture";
    const std::string program = PANELGRAB_CLI_PROGRAM;
    const auto run = [&](const std::string& arguments) {
        const std::string out = folder / "out.txt";
        const std::string err = folder / "err.txt";
        const int code = Shell(program + " compare " + arguments + " >" + out + " 2>" + err);
        return Outcome{code, ReadFile(out), ReadFile(err)};
    };
    const Outcome same = run(folder / "card.bmp" + " " + folder / "card.bmp");
    EXPECT_EQ(same.exitCode, kExitOk);
    EXPECT_EQ(same.out, "match\n");

    const Outcome sizes =
        run(folder / "card.bmp" + " " + folder / "small.bmp" + " --diff " + folder / "d.bmp");
    EXPECT_EQ(sizes.exitCode, kExitDiffers);
    EXPECT_EQ(sizes.out, "differ: the picture is 128x160, the reference 176x220\n");
    EXPECT_EQ(ReadPicture(folder / "d.bmp").width(), 176);

    const Outcome unreadable = run(folder / "card.bmp" + " " + folder / "notes.png");
    EXPECT_EQ(unreadable.exitCode, kExitUsage);
    EXPECT_EQ(unreadable.err,
              "panelgrab-cli: " + folder / "notes.png" + ": neither a BMP nor a PNG picture\n");
    EXPECT_EQ(unreadable.out, "");

    const Outcome outside = run(folder / "card.bmp" + " " + folder / "card.bmp" + " --region 0,300,10,310");
    EXPECT_EQ(outside.exitCode, kExitUsage);
    EXPECT_NE(outside.err.find("lies outside the 176x220 picture"), std::string::npos) << outside.err;

    const Outcome overwrite =
        run(folder / "card.bmp" + " " + folder / "small.bmp" + " --diff " + folder / "card.bmp");
    EXPECT_EQ(overwrite.exitCode, kExitUsage);
    EXPECT_NE(overwrite.err.find("would overwrite"), std::string::npos) << overwrite.err;
}

} // namespace
} // namespace panelgrab::cli
