// Command lines run in this process and as the built program against the simulated phone.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "capture/display_bitmap.h"
#include "cli/cli_runner.h"
#include "cli/exit_codes.h"
#include "phone/phone_link.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "transport/port_timing.h"

namespace panelgrab::cli {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a command line in this process against fast port timing.
Outcome RunInProcess(std::vector<std::string> args) {
    args.insert(args.begin(), "--fast-timing");
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{out, err, false};
    const int exitCode = RunCli(args, io);
    return {exitCode, out.str(), err.str()};
}

// Runs the built program, interrupted as by Ctrl+C after `interruptAfter` seconds when that is set;
// its streams go to files, so neither can block the other.
Outcome RunProgram(const std::string& args, int interruptAfter = 0) {
    const std::string base =
        (fs::temp_directory_path() / ("panelgrab-cli-run-" + std::to_string(getpid()))).string();
    const std::string interrupt =
        interruptAfter > 0 ? "timeout --preserve-status -k 5 -s INT " + std::to_string(interruptAfter) + " "
                           : "";
    const int status = std::system(
        (interrupt + PANELGRAB_CLI_PROGRAM + " " + args + " </dev/null >" + base + ".out 2>" + base + ".err")
            .c_str());
    Outcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(base + ".out"),
                ReadFile(base + ".err")};
    fs::remove(base + ".out");
    fs::remove(base + ".err");
    return run;
}

// Checks that a BMP file's bytes are the picture display `index` of the simulated phone shows.
void ExpectBmpShows(const std::string& bmp, const std::vector<std::string>& simArgs, std::size_t index) {
    sim::SimOptions options;
    std::string error;
    ASSERT_TRUE(sim::ParseSimOptions(simArgs, options, error)) << error;
    const sim::RgbImage expected = sim::ExpectedPicture(options, index);
    DisplayBitmap picture;
    ASSERT_TRUE(
        picture.SetSize(static_cast<uint16_t>(expected.width), static_cast<uint16_t>(expected.height)));
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            std::reverse_copy(expected.At(x, y), expected.At(x, y) + 3,
                              picture.pixels() + y * picture.rowSize() + x * 3);
        }
    }
    const std::vector<uint8_t> want = picture.EncodeBmp();
    EXPECT_TRUE(bmp == std::string(want.begin(), want.end())) << "the file is not the picture";
}

// A file name in the temporary folder for this test; the file is removed after the test.
std::string TempFile(const char* name) {
    return (fs::temp_directory_path() / ("panelgrab-cli-e2e-" + std::to_string(getpid()) + "-" + name))
        .string();
}

TEST(CliEndToEnd, GrabWritesTheTestCard) {
    const std::string file = TempFile("shot.bmp");
    const Outcome run = RunInProcess({"--port", "sim", "grab", "-o", file});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    ExpectBmpShows(ReadFile(file), {}, 0);
    EXPECT_NE(run.err.find("wrote " + file), std::string::npos);
    EXPECT_EQ(run.out, "");
    fs::remove(file);
}

TEST(CliEndToEnd, SecondDisplayInBackgroundWithRegionChecksum) {
    const std::string port = "sim:--dialect=two-displays";
    const Outcome displays = RunInProcess({"--port", port, "displays"});
    ASSERT_EQ(displays.exitCode, kExitOk) << displays.err;
    EXPECT_EQ(displays.out, "Screen 1 (176x220)  16 bits per pixel  1408 characters per line  display 0\n"
                            "Screen 2 (96x64)  16 bits per pixel  768 characters per line  display 1\n");

    const std::string file = TempFile("second.bmp");
    const Outcome grab = RunInProcess({"--port", port, "grab", "--background", "--display", "1", "-o", file,
                                       "--region-checksum", "3,4,50,60"});
    ASSERT_EQ(grab.exitCode, kExitOk) << grab.err;
    ExpectBmpShows(ReadFile(file), {"--dialect=two-displays"}, 1);

    // The phone computes the same sum over its own picture text.
    const Outcome phoneSum =
        RunInProcess({"--port", port, "checksum", "--region", "3,4,50,60", "--display", "1"});
    ASSERT_EQ(phoneSum.exitCode, kExitOk) << phoneSum.err;
    EXPECT_EQ(grab.out, phoneSum.out);
    EXPECT_FALSE(grab.out.empty());

    EXPECT_EQ(
        RunInProcess({"--port", port, "grab", "--display", "1", "-o", file, "--region-checksum", "0,0,96,10"})
            .exitCode,
        kExitUsage);
    const Outcome noSuchDisplay = RunInProcess({"--port", port, "grab", "--display", "2", "-o", file});
    EXPECT_EQ(noSuchDisplay.exitCode, kExitFailed);
    EXPECT_NE(noSuchDisplay.err.find("no display 2"), std::string::npos);
    fs::remove(file);
}

TEST(CliEndToEnd, TransferThatBreaksOffIsAFailureAndWritesNoFile) {
    const std::string file = TempFile("broken.bmp");
    const Outcome run =
        RunInProcess({"--port", "sim:--fault=stall-after=20000", "grab", "--background", "-o", file});
    EXPECT_EQ(run.exitCode, kExitFailed);
    EXPECT_NE(run.err.find("the read ended after"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(file));
}

TEST(CliCommands, TextCommands) {
    const Outcome model = RunInProcess({"--port", "sim", "model"});
    ASSERT_EQ(model.exitCode, kExitOk) << model.err;
    EXPECT_EQ(model.out, "P200\n");

    const Outcome send = RunInProcess({"--trace", "--port", "sim", "send", "AT+CGMM\\r"});
    ASSERT_EQ(send.exitCode, kExitOk) << send.err;
    EXPECT_NE(send.out.find("PANELSIM-P200\r\n\r\nOK\r\n"), std::string::npos);
    EXPECT_NE(send.err.find("> AT+CGMM\\r\n"), std::string::npos) << send.err;
    EXPECT_NE(send.err.find("< AT+CGMM\\r\\r\\nPANELSIM-P200"), std::string::npos) << send.err;

    const Outcome gui = RunInProcess({"--port", "sim", "gui"});
    ASSERT_EQ(gui.exitCode, kExitOk) << gui.err;
    EXPECT_EQ(gui.out, "OBJECT=Form\nPROMPT=P\nSKL=L\nSKR=R\nTITLE=Title\nVALUE=V\n");

    EXPECT_EQ(RunInProcess({"--port", "sim", "keys", "12#", "--press", "250", "--pause", "100"}).exitCode,
              kExitOk);
}

TEST(CliCommands, ListenPrintsEventsInOrder) {
    const Outcome run = RunInProcess(
        {"--port", "sim:--key-events=5,1;5,0;a,b,1;a,b,0,--key-event-pause=2", "listen", "--count", "4"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(run.out, "pressed 5\nreleased 5\npressed a,b\nreleased a,b\n");

    // A time limit beyond what the clock can count is no limit, not an immediate end.
    const Outcome patient = RunInProcess({"--port", "sim:--key-events=5,1;5,0,--key-event-pause=2", "listen",
                                          "--count", "2", "--seconds", "100000000000000"});
    ASSERT_EQ(patient.exitCode, kExitOk) << patient.err;
    EXPECT_EQ(patient.out, "pressed 5\nreleased 5\n");

    const auto start = std::chrono::steady_clock::now();
    const Outcome quiet = RunInProcess({"--port", "sim", "listen", "--seconds", "0.2"});
    EXPECT_EQ(quiet.exitCode, kExitOk) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(CliCommands, MissingPortIsNoConnection) {
    const Outcome missing = RunInProcess({"--port", "/dev/panelgrab-no-such-port", "model"});
    EXPECT_EQ(missing.exitCode, kExitNoConnection);
    EXPECT_NE(missing.err.find("/dev/panelgrab-no-such-port"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("Unable to open com port"), std::string::npos) << missing.err;
}

TEST(CliCommands, FailuresNameThePortAndWhatWentWrong) {
    const Outcome huge =
        RunInProcess({"--port", "sim:--fault=huge-display", "grab", "-o", TempFile("huge.bmp")});
    EXPECT_EQ(huge.exitCode, kExitFailed);
    EXPECT_NE(huge.err.find("sim (/dev/"), std::string::npos) << huge.err;
    EXPECT_NE(huge.err.find("The phone reported a display too large to read."), std::string::npos)
        << huge.err;
    EXPECT_FALSE(fs::exists(TempFile("huge.bmp")));

    // The phone hangs up in the middle of its second key report.
    const auto start = std::chrono::steady_clock::now();
    const Outcome gone = RunInProcess(
        {"--port", "sim:--key-events=7,1;7,0,--key-event-pause=50,--fault=hangup-after=50", "listen"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(gone.exitCode, kExitNoConnection) << gone.err;
    EXPECT_EQ(gone.out, "pressed 7\n");
    EXPECT_NE(gone.err.find("sim (/dev/"), std::string::npos) << gone.err;
    EXPECT_NE(gone.err.find("Check the cable"), std::string::npos) << gone.err;
}

// A reader that goes away ends listen like Ctrl-C: the phone's reporting is switched off.
TEST(CliProgram, ClosedOutputEndsListenWithReportingOff) {
    sim::SimOptions options;
    options.keyEvents = "7,1;7,0;8,1;8,0;9,1;9,0";
    options.keyEventPauseMs = 100;
    sim::SimulatedPhone phone(options);
    std::string error;
    ASSERT_TRUE(phone.Start(error)) << error;
    const std::string out = TempFile("head.out");
    const int status = std::system((std::string(PANELGRAB_CLI_PROGRAM) + " --fast-timing --port " +
                                    phone.DevicePath() + " listen 2>/dev/null | head -n1 >" + out)
                                       .c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile(out), "pressed 7\n");
    fs::remove(out);

    ConnectionSettings settings(phone.DevicePath(), 115200);
    settings.SetTiming(PortTiming::Fast());
    const std::unique_ptr<PhoneLink> check = CreatePhone(settings);
    ASSERT_EQ(check->Open(false), kPhoneOk);
    std::string answer;
    ASSERT_EQ(check->SendCommand("AT+CMER?\r", answer), kPhoneOk);
    EXPECT_NE(answer.find("+CMER: 0,0,0,0,0"), std::string::npos) << answer;
}

TEST(CliProgram, ExitCodesAndStreams) {
    const Outcome usage = RunProgram("model");
    EXPECT_EQ(usage.exitCode, kExitUsage);
    EXPECT_NE(usage.err.find("needs --port"), std::string::npos) << usage.err;
    EXPECT_NE(usage.err.find("--help"), std::string::npos);
    EXPECT_EQ(usage.out, "");

    const Outcome help = RunProgram("--help");
    EXPECT_EQ(help.exitCode, kExitOk);
    for (const char* command :
         {"ports", "send", "model", "displays", "grab", "checksum", "keys", "listen", "gui"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }

    const Outcome grab = RunProgram("--fast-timing --port sim grab -o -");
    EXPECT_EQ(grab.exitCode, kExitOk) << grab.err;
    ExpectBmpShows(grab.out, {}, 0);
}

TEST(CliProgram, CtrlCEndsListenCleanly) {
    const Outcome run =
        RunProgram("--fast-timing --port 'sim:--key-events=7,1;7,0,--key-event-pause=2' listen", 1);
    EXPECT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(run.out, "pressed 7\nreleased 7\n");
}

} // namespace
} // namespace panelgrab::cli
