// watch: the live view it prints and writes, run in this process and as the built program against
// the simulated phone.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <string>
#include <vector>

#include "background/live_view_task.h"
#include "cli/cli_run.h"
#include "cli/exit_codes.h"
#include "sim/display_picture.h"
#include "sim/screen_animation.h"
#include "support/apng_frames.h"

namespace panelgrab::cli {
namespace {

using namespace test;

// One refresh line: time, lines, bytes, checksums, milliseconds, then the full-read mark and the file.
const std::regex kRefreshLine(
    R"(time_s=\d+\.\d{3} lines=(\d+) pixels=\d+ bytes=\d+ checksums=\d+ ms=\d+\.\d( full)?( file=(\S+))?)");

// A picture is written for each change once a refresh has found nothing left to mend of it: never
// one a change is only partly mended in, nor the first read of every line, which the screen may
// have changed under. The screen changes slowly enough for quiet refreshes also on a slow machine.
TEST(WatchCommand, OneLinePerRefreshAndAPictureForEachSettledChange) {
    ScratchFolder folder;
    const Outcome run = RunInProcess({"--port", "sim:--animate=highlight,--animate-period=300", "watch",
                                      "--count", "6", "-o", folder / "w-%03d.bmp"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    std::size_t files = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kRefreshLine)) << lines[i];
        EXPECT_EQ(m[2].matched, i == 0) << "the first refresh, and only it, is a full read: " << lines[i];
        const int fetched = std::stoi(m[1]);
        if (m[4].matched) {
            ++files;
            EXPECT_EQ(fetched, 0) << "written when settled: " << lines[i];
            EXPECT_GT(ReadFile(m[4].str()).size(), 176u * 220 * 3) << m[4];
        }
    }
    EXPECT_TRUE(lines[0].find("lines=220 ") != std::string::npos) << lines[0];
    EXPECT_GE(files, 1u);
    EXPECT_EQ(folder.Count(), files);
    EXPECT_TRUE(run.err.ends_with("6 refreshes (1 full read), " + std::to_string(files) +
                                  (files == 1 ? " picture written\n" : " pictures written\n")))
        << run.err;
}

TEST(WatchCommand, ChangedOnlyWritesNothingNewWhenOnlyIgnoredRowsChange) {
    ScratchFolder folder;
    // The highlight moves over the list rows from y=138 on; they are ignored.
    const Outcome run =
        RunInProcess({"--port", "sim:--animate=highlight,--animate-period=300", "watch", "--count", "5", "-o",
                      folder / "c-%d.png", "--changed-only", "--ignore", "0,130,175,219"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(folder.Count(), 1u) << "the first settled picture";
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

// The frames of an animated PNG file; none (and a failure) when it does not decode.
std::vector<panelgrab::test::ApngFrame> ApngFramesOf(const std::string& file) {
    const std::string bytes = ReadFile(file);
    std::vector<panelgrab::test::ApngFrame> frames;
    std::string error;
    EXPECT_TRUE(panelgrab::test::DecodeApng(
        std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), frames, error))
        << error;
    return frames;
}

// What the phone showed at each animation step, each pixel enlarged `scale` times.
Picture AnimationStep(const std::vector<std::string>& simArgs, int64_t step, int scale) {
    const sim::SimOptions options = SimOptionsOf(simArgs);
    std::vector<Picture> sources;
    std::string error;
    EXPECT_TRUE(sim::LoadSourcePictures(options, sources, error)) << error;
    sim::DrawAnimationStep(sources[0], options.animation, step);
    // What the display's pixel format makes of it.
    const Picture image =
        sim::DisplayPicture(sim::EffectiveDisplays(options)[0], sim::IsLongForm(options.dialect), sources[0])
            .Decoded();
    Picture picture;
    picture.Resize(image.width() * scale, image.height() * scale);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.Set(x, y, image.At(x / scale, y / scale));
        }
    }
    return picture;
}

// Pillow's frames of the file, as raw RGB files frame-N.rgb beside it; false when it cannot read them.
bool PillowFrames(const std::string& python, const std::string& apng, std::vector<std::string>& frames) {
    const std::string script =
        "import sys; from PIL import Image\n"
        "im = Image.open(sys.argv[1])\n"
        "for i in range(im.n_frames):\n"
        "    im.seek(i); open(sys.argv[1] + '-%d.rgb' % i, 'wb').write(im.convert('RGB').tobytes())\n";
    if (std::system((python + " -c \"" + script + "\" " + apng).c_str()) != 0) {
        return false;
    }
    for (int i = 0; std::filesystem::exists(apng + "-" + std::to_string(i) + ".rgb"); ++i) {
        frames.push_back(ReadFile(apng + "-" + std::to_string(i) + ".rgb"));
    }
    return true;
}

TEST(WatchCommand, RecordsAnAnimatedPngOfThePicturesThePhoneShowedForAsLongAsTheyStayed) {
    // The highlight: the live view sees each of its moves whole. A still screen's one frame is the
    // writer's (tests/capture).
    const std::vector<std::string> simArgs = {"--animate=highlight", "--animate-period=150"};
    const int scale = 2;
    ScratchFolder folder;
    const std::string file = folder / "flow.png";
    const Outcome run = RunInProcess({"--port", "sim:" + simArgs[0] + "," + simArgs[1], "watch", "--seconds",
                                      "1.5", "--record", file, "--scale", std::to_string(scale)});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    const std::vector<panelgrab::test::ApngFrame> frames = ApngFramesOf(file);
    ASSERT_GE(frames.size(), 4u);
    ASSERT_LE(frames.size(), 20u);
    EXPECT_TRUE(run.err.ends_with(std::to_string(frames.size()) + " frames recorded in " + file + "\n"))
        << run.err;

    // Each frame is a step the phone showed, in the order shown.
    int64_t step = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        while (step < 100 && !(frames[i].shown == AnimationStep(simArgs, step, scale))) {
            ++step;
        }
        EXPECT_LT(step, 100) << "frame " << i << " is no picture the phone showed";
    }
    // The delays cover the time from the first settled picture (the end of the first refresh that
    // fetched nothing) to the end of the watch, which ended within a poll of 1.5 s.
    double firstSettledMs = -1;
    for (const std::string& line : Lines(run.out)) {
        std::smatch m;
        if (std::regex_match(line, m, kRefreshLine) && m[1] == "0") {
            firstSettledMs = std::stod(line.substr(line.find('=') + 1)) * 1000.0;
            break;
        }
    }
    ASSERT_GE(firstSettledMs, 0) << run.out;
    const double recordedMs = 1500.0 - firstSettledMs;
    int64_t delays = 0;
    for (const panelgrab::test::ApngFrame& frame : frames) {
        delays += frame.delayMs;
    }
    EXPECT_NEAR(static_cast<double>(delays), recordedMs, 100.0);

    const std::string python = PANELGRAB_PIL_PYTHON;
    if (python.empty()) {
        std::cerr << "Pillow (python3-pil) was not found when configuring: the file is not read with it\n";
        return;
    }
    std::vector<std::string> pillow;
    ASSERT_TRUE(PillowFrames(python, file, pillow));
    ASSERT_EQ(pillow.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Picture& shown = frames[i].shown;
        EXPECT_EQ(pillow[i], std::string(reinterpret_cast<const char*>(shown.Row(0)),
                                         static_cast<std::size_t>(shown.width()) * shown.height() * 3))
            << "Pillow's frame " << i;
    }
}

TEST(WatchProgram, EndsCleanlyOnSigtermAndOnAClosedOutput) {
    ScratchFolder folder;
    const std::string out = folder / "out.txt";
    const std::string flow = folder / "flow.png";
    // SIGTERM once two refreshes are printed: the count of what was printed, then the signal's
    // status; the recording is still written whole.
    const Outcome terminated = TerminateOnceReady("--port sim watch --record " + flow + " >" + out,
                                                  "[ \"$(wc -l <" + out + ")\" -ge 2 ]");
    EXPECT_EQ(terminated.exitCode, 128 + SIGTERM) << terminated.err;
    const std::size_t printed = Lines(ReadFile(out)).size();
    EXPECT_GE(printed, 2u);
    EXPECT_NE(terminated.err.find(std::to_string(printed) + " refreshes (1 full read), 1 frame recorded in " +
                                  flow + "\n"),
              std::string::npos)
        << terminated.err;
    EXPECT_EQ(ApngFramesOf(flow).size(), 1u);
    EXPECT_EQ(folder.Count(), 2u) << "no temporary file is left behind";

    // A reader that goes away after two lines: the program notices at the next line and stops.
    const Outcome piped = ReadFirstLines("--port sim watch --seconds 60", 2);
    EXPECT_EQ(piped.exitCode, kExitOk) << piped.err;
    EXPECT_NE(piped.err.find("refreshes (1 full read)"), std::string::npos) << piped.err;
}

} // namespace
} // namespace panelgrab::cli
