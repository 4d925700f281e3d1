// Command lines run in this process and as the built program against the simulated phone.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "capture/display_bitmap.h"
#include "cli/cli_run.h"
#include "cli/cli_runner.h"
#include "cli/exit_codes.h"
#include "phone/phone_link.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "transport/port_timing.h"

namespace panelgrab::cli {
namespace {

using test::Outcome;
using test::ReadFile;
using test::RunInProcess;

namespace fs = std::filesystem;

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

// What a user meets first: outputs refused before the port is opened, answers shown whole, the
// progress of a grab in a terminal, and every program's version.
TEST(CliFirstUse, UnusableOutputsAreRefusedBeforeThePortIsOpened) {
    const std::string folder = TempFile("no-such-folder");
    const struct {
        std::vector<std::string> grab;
        std::string expected;
    } cases[] = {
        {{"-o", "x.jpg"}, "-o x.jpg: grab writes .bmp and .png files"},
        {{"-o", folder + "/x.png"}, "cannot create a file in " + folder + ": No such file or directory"},
        {{"--every", "1", "-o", folder + "/s-%03d.png"}, "cannot create a file in " + folder},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--port", "/dev/panelgrab-no-such-port", "grab"};
        args.insert(args.end(), c.grab.begin(), c.grab.end());
        const Outcome run = RunInProcess(args);
        EXPECT_EQ(run.exitCode, kExitUsage) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        // The port was never tried: its failure would name it.
        EXPECT_EQ(run.err.find("Unable to open"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(folder));
}

TEST(CliFirstUse, SendShowsAnErrorAnswerWholeAndTimesOutInPlainWords) {
    const Outcome refused = RunInProcess({"--port", "sim", "send", "AT*ZFOO\\r"});
    EXPECT_EQ(refused.exitCode, kExitFailed);
    EXPECT_EQ(refused.out, "AT*ZFOO\r\r\nERROR\r\n"); // the echo and the phone's verdict
    EXPECT_NE(refused.err.find("responded with error"), std::string::npos) << refused.err;

    // Without its carriage return the phone never answers: said before the wait and after it.
    const Outcome unfinished = RunInProcess({"--port", "sim", "send", "AT"});
    EXPECT_EQ(unfinished.exitCode, kExitFailed);
    EXPECT_EQ(unfinished.out, "");
    EXPECT_NE(unfinished.err.find("does not end in \\r"), std::string::npos) << unfinished.err;
    EXPECT_NE(unfinished.err.find("Timeout occurred while waiting"), std::string::npos) << unfinished.err;
}

// Runs the built program with stderr on a pseudo-terminal, as from a shell, stdout into a file.
// Returns the exit code; `terminal` gets what the terminal showed.
int RunOnTerminal(const std::vector<std::string>& args, const std::string& out, std::string& terminal) {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&files, slave, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&files, master);
    std::vector<std::string> words{PANELGRAB_CLI_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, PANELGRAB_CLI_PROGRAM, &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    ::close(slave);
    // Read until the program has gone and closed the terminal (the master then reads EIO).
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = ::read(master, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            break;
        }
        terminal.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(master);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliProgram, ForegroundGrabShowsItsProgressOnATerminal) {
    const std::string file = TempFile("terminal.bmp");
    const std::string out = TempFile("terminal.out");
    std::string terminal;
    ASSERT_EQ(RunOnTerminal({"--fast-timing", "--port", "sim", "grab", "-o", file}, out, terminal), kExitOk)
        << terminal;
    // The bar is drawn in place and ends complete; the file is the picture.
    EXPECT_NE(terminal.find("\r[########################] 220/220 lines"), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("wrote " + file), std::string::npos) << terminal;
    ExpectBmpShows(ReadFile(file), {}, 0);
    EXPECT_EQ(ReadFile(out), "");
    fs::remove(file);
    fs::remove(out);
    // Not into a trace, nor into a file: there the grab stays silent.
    const Outcome plain = RunProgram("--fast-timing --port sim grab -o " + file);
    EXPECT_EQ(plain.err, "panelgrab-cli: wrote " + file + " (176x220)\n");
    fs::remove(file);
}

TEST(CliProgram, EveryProgramTellsItsVersion) {
    const Outcome cli = RunProgram("--version");
    EXPECT_EQ(cli.exitCode, kExitOk);
    EXPECT_EQ(cli.out, "panelgrab-cli 1.0\n");
    const std::string phonesim = PANELGRAB_PHONESIM_PROGRAM;
    const std::string base = TempFile("phonesim");
    const int version = std::system((phonesim + " --version >" + base + ".out").c_str());
    EXPECT_TRUE(WIFEXITED(version) && WEXITSTATUS(version) == 0);
    EXPECT_EQ(ReadFile(base + ".out"), "panelgrab-phonesim 1.0\n");
    // An unknown option is called unknown, not taken for one that lacks its value.
    const int unknown = std::system((phonesim + " --frob 2>" + base + ".err").c_str());
    EXPECT_TRUE(WIFEXITED(unknown) && WEXITSTATUS(unknown) == 2);
    EXPECT_NE(ReadFile(base + ".err").find("unknown option --frob"), std::string::npos);
    fs::remove(base + ".out");
    fs::remove(base + ".err");
    // The built-in phone of --port sim: says the same.
    const Outcome simulated = RunInProcess({"--port", "sim:--frob", "model"});
    EXPECT_NE(simulated.err.find("unknown option --frob"), std::string::npos) << simulated.err;
}

} // namespace
} // namespace panelgrab::cli
