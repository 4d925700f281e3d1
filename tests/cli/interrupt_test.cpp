// The built program stopped by a signal in the middle of an exchange, on a pseudo-terminal served
// by a simulated phone in this process, which outlives the program as a phone or socat would.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <sys/ioctl.h>
#include <thread>
#include <vector>

#include "cli/cli_run.h"
#include "transport/bytes/serial_device.h"

namespace panelgrab::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The open's probe and its answer with echo: "AT\r\r\nOK\r\n".
constexpr int64_t kProbeAnswerBytes = 9;
// Up to the OK of listen's switch-on, "AT+CMER=3,2,0,0\r\r\nOK\r\n" after the probe's answer.
constexpr int64_t kListenReadyBytes = kProbeAnswerBytes + 22;

struct Ending {
    int status = -1; // as a shell reports it: 128 + the signal for a program that died of one
    std::string err;
    std::chrono::milliseconds afterSignal{0}; // from the signal to the program's end
    bool diedOfSignal = false;                // the system ended it, not its own exit
};

// Runs `panelgrab-cli --port PORT ARGS...` against `phone`, which stalls after some bytes, and
// sends `signal` once the phone has sent `ready` bytes and `settle` has passed: the program is then
// waiting in the exchange, transfer or loop that the stall left it in. Returns once it has ended.
// With `again`, the signal is sent a second time after that long.
Ending StopWith(const sim::SimulatedPhone& phone, const std::vector<std::string>& args, int signal,
                int64_t ready, std::chrono::milliseconds settle = 0ms,
                std::optional<std::chrono::milliseconds> again = std::nullopt) {
    const fs::path err = fs::temp_directory_path() / ("panelgrab-interrupt-" + std::to_string(getpid()));
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> words = {PANELGRAB_CLI_PROGRAM, "--port=" + phone.DevicePath()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        return {};
    }
    const auto limit = std::chrono::steady_clock::now() + 10s;
    while (phone.BytesSent() < ready && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(2ms);
    }
    std::this_thread::sleep_for(settle);
    const auto signalled = std::chrono::steady_clock::now();
    kill(pid, signal);
    if (again) {
        std::this_thread::sleep_for(*again);
        kill(pid, signal);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const auto afterSignal =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - signalled);
    Ending ending{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), test::ReadFile(err),
                  afterSignal, WIFSIGNALED(status)};
    fs::remove(err);
    return ending;
}

// True when this process can take the port, and it is not left in exclusive mode.
bool PortIsFree(const std::string& path) {
    const auto device = CreateLocalSerialDevice();
    if (device->Open(path) != 0) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int exclusive = 1;
    const bool checked = fd >= 0 && ioctl(fd, TIOCGEXCL, &exclusive) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return checked && exclusive == 0;
}

// The commands that wait, on a phone that stops answering in the middle: a signal closes the port
// (listen first tries to switch reporting off, for one read wait), says so once and ends the command
// with 128 + the signal within a second, at the port's real timing; a killed program has no chance
// to close, and the system's release must be enough. Either way the port is free after it.
TEST(CliInterrupt, ASignalClosesThePortPromptlyAndAKilledProgramLeavesItFree) {
    const test::ScratchFolder scratch;
    const std::string stallAtListen = "--fault=stall-after=" + std::to_string(kListenReadyBytes);
    const struct {
        std::vector<std::string> phone;
        std::vector<std::string> args;
        int64_t ready; // the phone's bytes before the command waits for good
        std::vector<int> signals;
        std::optional<std::chrono::milliseconds> again = std::nullopt; // the signal once more, after this
    } commands[] = {
        {{"--fault=stall-after=9"}, {"model"}, kProbeAnswerBytes, {SIGTERM, SIGINT, SIGKILL}},
        // During the baud rate's search, before any phone object exists.
        {{"--fault=silent"}, {"--baud=auto", "model"}, 0, {SIGINT}},
        {{"--fault=stall-after=3000"},
         {"grab", "--every", "1", "-o", (scratch.path() / "shot-%03d.bmp").string()},
         3000,
         {SIGINT, SIGTERM}},
        {{"--fault=stall-after=3000"}, {"watch"}, 3000, {SIGINT, SIGTERM}},
        {{stallAtListen}, {"listen"}, kListenReadyBytes, {SIGINT, SIGTERM}},
        // A second signal ends the program at once, while the first one's close still waits (here
        // listen's switch-off). The same signal twice at once is one request: `timeout` sends it to the
        // program and then to the program's process group.
        {{stallAtListen}, {"listen"}, kListenReadyBytes, {SIGINT}, 50ms},
        {{stallAtListen}, {"listen"}, kListenReadyBytes, {SIGINT}, 0ms},
    };
    for (const auto& command : commands) {
        for (const int signal : command.signals) {
            SCOPED_TRACE(::testing::PrintToString(command.args) + ", signal " + std::to_string(signal) +
                         (command.again ? " twice" : ""));
            const auto phone = test::StartPhone(command.phone);
            ASSERT_TRUE(phone);
            // The settling time lets the program reach its wait for the bytes that never come.
            const Ending ending = StopWith(*phone, command.args, signal, command.ready, 300ms, command.again);
            const bool dies = signal == SIGKILL || command.again > 0ms;
            EXPECT_EQ(ending.status, 128 + signal) << ending.err;
            EXPECT_EQ(ending.diedOfSignal, dies) << ending.err;
            // Within a second on an idle machine; the bound leaves room for a loaded one.
            EXPECT_LT(ending.afterSignal, 5s);
            const std::string said = phone->DevicePath() + ": interrupted by " +
                                     (signal == SIGINT ? "Ctrl-C" : "SIGTERM") + "; the port was closed";
            const std::size_t first = ending.err.find(said);
            if (dies) {
                EXPECT_EQ(first, std::string::npos) << ending.err;
            } else {
                ASSERT_NE(first, std::string::npos) << ending.err;
                EXPECT_EQ(ending.err.find(said, first + 1), std::string::npos) << "said once: " << ending.err;
            }
            EXPECT_TRUE(PortIsFree(phone->DevicePath()));
        }
    }
}

} // namespace
} // namespace panelgrab::cli
