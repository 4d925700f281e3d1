#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pty.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/cli_runner.h"
#include "cli/exit_codes.h"
#include "program_runner.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"

namespace panelgrab::cli {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;
using testing::RunProgram;

struct InProcessRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a command line in this process against fast port timing.
InProcessRun RunInProcess(std::vector<std::string> args) {
    args.insert(args.begin(), "--fast-timing");
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{out, err, false};
    InProcessRun run;
    run.exitCode = RunCli(args, io);
    run.out = out.str();
    run.err = err.str();
    return run;
}

sim::SimOptions SimOptionsFor(const std::vector<std::string>& args) {
    sim::SimOptions options;
    std::string error;
    EXPECT_TRUE(sim::ParseSimOptions(args, options, error)) << error;
    return options;
}

// Compares a 24-bit bottom-up BMP with the picture the simulated phone shows.
void ExpectBmpShows(const std::string& bmp, const sim::RgbImage& expected) {
    ASSERT_GE(bmp.size(), 54u);
    ASSERT_EQ(bmp.substr(0, 2), "BM");
    int32_t width = 0;
    int32_t height = 0;
    std::memcpy(&width, bmp.data() + 18, 4);
    std::memcpy(&height, bmp.data() + 22, 4);
    ASSERT_EQ(width, expected.width);
    ASSERT_EQ(height, expected.height);
    std::size_t rowSize = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    ASSERT_EQ(bmp.size(), 54 + rowSize * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const char* row = bmp.data() + 54 + rowSize * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* want = expected.At(x, y);
            auto blue = static_cast<uint8_t>(row[x * 3]);
            auto green = static_cast<uint8_t>(row[x * 3 + 1]);
            auto red = static_cast<uint8_t>(row[x * 3 + 2]);
            ASSERT_TRUE(red == want[0] && green == want[1] && blue == want[2]) << "pixel " << x << "," << y;
        }
    }
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("panelgrab-cli-e2e-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string PathOf(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(CliEndToEnd, GrabWritesTheTestCard) {
    std::string file = PathOf("shot.bmp");
    InProcessRun run = RunInProcess({"--port", "sim", "grab", "-o", file});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    std::string bmp = ReadFile(file);
    EXPECT_EQ(bmp.size(), 116214u);
    ExpectBmpShows(bmp, sim::ExpectedPicture(SimOptionsFor({}), 0));
    EXPECT_NE(run.err.find("wrote " + file), std::string::npos);
    EXPECT_EQ(run.out, "");
}

TEST_F(CliEndToEnd, SecondDisplayInBackgroundWithRegionChecksum) {
    const std::string port = "sim:--dialect=two-displays";
    InProcessRun displays = RunInProcess({"--port", port, "displays"});
    ASSERT_EQ(displays.exitCode, kExitOk) << displays.err;
    EXPECT_EQ(displays.out, "Screen 1 (176x220)  16 bits per pixel  1408 characters per line  display 0\n"
                            "Screen 2 (96x64)  16 bits per pixel  768 characters per line  display 1\n");

    std::string file = PathOf("second.bmp");
    InProcessRun grab = RunInProcess({"--port", port, "grab", "--background", "--display", "1", "-o", file,
                                      "--region-checksum", "3,4,50,60"});
    ASSERT_EQ(grab.exitCode, kExitOk) << grab.err;
    ExpectBmpShows(ReadFile(file), sim::ExpectedPicture(SimOptionsFor({"--dialect=two-displays"}), 1));

    // The phone computes the same sum over its own picture text.
    InProcessRun phoneSum =
        RunInProcess({"--port", port, "checksum", "--region", "3,4,50,60", "--display", "1"});
    ASSERT_EQ(phoneSum.exitCode, kExitOk) << phoneSum.err;
    EXPECT_EQ(grab.out, phoneSum.out);
    EXPECT_FALSE(grab.out.empty());

    InProcessRun outside = RunInProcess(
        {"--port", port, "grab", "--display", "1", "-o", file, "--region-checksum", "0,0,96,10"});
    EXPECT_EQ(outside.exitCode, kExitUsage);
    InProcessRun noSuchDisplay = RunInProcess({"--port", port, "grab", "--display", "2", "-o", file});
    EXPECT_EQ(noSuchDisplay.exitCode, kExitFailed);
    EXPECT_NE(noSuchDisplay.err.find("no display 2"), std::string::npos);
}

TEST_F(CliEndToEnd, PerLineDialectAndPng) {
    std::string file = PathOf("lines.png");
    InProcessRun run =
        RunInProcess({"--port", "sim:--dialect=per-line,--no-echo", "grab", "--background", "-o", file});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(ReadFile(file).substr(1, 3), "PNG");
}

TEST_F(CliEndToEnd, TransferThatBreaksOffIsAFailure) {
    std::string file = PathOf("broken.bmp");
    InProcessRun run =
        RunInProcess({"--port", "sim:--fault=stall-after=20000", "grab", "--background", "-o", file});
    EXPECT_EQ(run.exitCode, kExitFailed);
    EXPECT_NE(run.err.find("the read ended after"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(CliEndToEnd, TextCommands) {
    InProcessRun model = RunInProcess({"--port", "sim", "model"});
    ASSERT_EQ(model.exitCode, kExitOk) << model.err;
    EXPECT_EQ(model.out, "P200\n");

    InProcessRun send = RunInProcess({"--trace", "--port", "sim", "send", "AT+CGMM\\r"});
    ASSERT_EQ(send.exitCode, kExitOk) << send.err;
    EXPECT_NE(send.out.find("PANELSIM-P200\r\n"), std::string::npos);
    EXPECT_NE(send.out.find("OK\r\n"), std::string::npos);
    EXPECT_NE(send.err.find("> AT+CGMM\\r\n"), std::string::npos) << send.err;
    EXPECT_NE(send.err.find("< AT+CGMM\\r"), std::string::npos) << send.err;

    InProcessRun gui = RunInProcess({"--port", "sim", "gui"});
    ASSERT_EQ(gui.exitCode, kExitOk) << gui.err;
    EXPECT_EQ(gui.out, "OBJECT=Form\nPROMPT=P\nSKL=L\nSKR=R\nTITLE=Title\nVALUE=V\n");

    InProcessRun badGui = RunInProcess({"--port", "sim:--gui-object=\"Form\",\"unclosed", "gui"});
    EXPECT_EQ(badGui.exitCode, kExitFailed);
    EXPECT_EQ(badGui.out, "");

    EXPECT_EQ(RunInProcess({"--port", "sim", "keys", "123#"}).exitCode, kExitOk);
    EXPECT_EQ(RunInProcess({"--port", "sim", "keys", "5", "--press", "250", "--pause", "100"}).exitCode,
              kExitOk);
}

TEST_F(CliEndToEnd, ListenPrintsEventsInOrder) {
    InProcessRun run = RunInProcess(
        {"--port", "sim:--key-events=5,1;5,0;a,b,1;a,b,0,--key-event-pause=2", "listen", "--count", "4"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(run.out, "pressed 5\nreleased 5\npressed a,b\nreleased a,b\n");

    auto start = std::chrono::steady_clock::now();
    InProcessRun quiet = RunInProcess({"--port", "sim", "listen", "--seconds", "0.2"});
    EXPECT_EQ(quiet.exitCode, kExitOk) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(CliProgram, ExitCodesAndStreams) {
    ProgramRun usage = RunProgram({"model"});
    EXPECT_EQ(usage.exitCode, kExitUsage);
    EXPECT_NE(usage.err.find("needs --port"), std::string::npos) << usage.err;
    EXPECT_NE(usage.err.find("--help"), std::string::npos);
    EXPECT_EQ(usage.out, "");

    ProgramRun help = RunProgram({"--help"});
    EXPECT_EQ(help.exitCode, kExitOk);
    for (const char* word :
         {"ports",    "send",   "model",   "displays", "grab",    "--background",  "--region-checksum",
          "checksum", "keys",   "--press", "--pause",  "listen",  "--count",       "--seconds",
          "gui",      "--port", "--baud",  "115200",   "--trace", "--fast-timing", "sim:",
          "--dialect"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }

    ProgramRun missing = RunProgram({"--port", "/dev/panelgrab-no-such-port", "model"});
    EXPECT_EQ(missing.exitCode, kExitNoConnection);
    EXPECT_NE(missing.err.find("/dev/panelgrab-no-such-port"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("Unable to open com port"), std::string::npos) << missing.err;

    ProgramRun grab = RunProgram({"--fast-timing", "--port", "sim", "grab", "-o", "-"});
    EXPECT_EQ(grab.exitCode, kExitOk) << grab.err;
    EXPECT_EQ(grab.out.size(), 116214u);
    EXPECT_EQ(grab.out.substr(0, 2), "BM");
}

TEST(CliProgram, SilentPhoneIsNoConnection) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    close(slave); // the program opens it by name; nobody answers on the far side
    ProgramRun run = RunProgram({"--fast-timing", "--port", name, "model"});
    close(master);
    EXPECT_EQ(run.exitCode, kExitNoConnection);
    EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Phone is not responding"), std::string::npos) << run.err;
}

TEST(CliProgram, CtrlCEndsListenCleanly) {
    int fromChild[2];
    ASSERT_EQ(pipe(fromChild), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(fromChild[1], STDOUT_FILENO);
        close(fromChild[0]);
        execl(PANELGRAB_CLI_PROGRAM, PANELGRAB_CLI_PROGRAM, "--fast-timing", "--port",
              "sim:--key-events=7,1;7,0,--key-event-pause=2", "listen", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fromChild[1]);
    std::string out;
    char buffer[256];
    while (out.find("released 7\n") == std::string::npos) {
        ssize_t n = read(fromChild[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(out, "pressed 7\nreleased 7\n");
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fromChild[0]);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), kExitOk);
}

} // namespace
} // namespace panelgrab::cli
