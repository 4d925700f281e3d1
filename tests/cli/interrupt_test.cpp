// The built program stopped by a signal in the middle of an exchange, on a pseudo-terminal served
// by a simulated phone in this process, which outlives the program as a phone or socat would.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/ioctl.h>
#include <thread>

#include "cli/cli_run.h"
#include "transport/serial_device.h"

namespace panelgrab::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The open's probe and its answer with echo: "AT\r\r\nOK\r\n".
constexpr int64_t kProbeAnswerBytes = 9;

struct Ending {
    int status = -1; // as a shell reports it: 128 + the signal for a program that died of one
    std::string err;
};

// Runs `panelgrab-cli --port PORT model` against `phone`, which answers the open's probe and then
// stalls, and sends `signal` once the probe is answered: the program is then opening the port or
// waiting for the model. Returns once the program has ended.
Ending StopModelWith(const sim::SimulatedPhone& phone, int signal) {
    const fs::path err = fs::temp_directory_path() / ("panelgrab-interrupt-" + std::to_string(getpid()));
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string program = PANELGRAB_CLI_PROGRAM;
    std::string portOption = "--port=" + phone.DevicePath();
    std::string command = "model";
    char* argv[] = {program.data(), portOption.data(), command.data(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &files, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        return {};
    }
    const auto limit = std::chrono::steady_clock::now() + 10s;
    while (phone.BytesSent() < kProbeAnswerBytes && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(2ms);
    }
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    Ending ending{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), test::ReadFile(err)};
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

TEST(CliInterrupt, ASignalClosesThePortAndAKilledProgramLeavesItFree) {
    const std::pair<int, const char*> cases[] = {
        {SIGTERM, "interrupted by SIGTERM; the port was closed"},
        {SIGINT, "interrupted by Ctrl-C; the port was closed"},
        {SIGKILL, nullptr}, // no chance to close: the system's release must be enough
    };
    for (const auto& [signal, message] : cases) {
        const auto phone = test::StartPhone({"--fault=stall-after=9"});
        ASSERT_TRUE(phone);
        const Ending ending = StopModelWith(*phone, signal);
        EXPECT_EQ(ending.status, 128 + signal) << ending.err;
        if (message) {
            EXPECT_NE(ending.err.find(phone->DevicePath() + ": " + message), std::string::npos) << ending.err;
        }
        EXPECT_TRUE(PortIsFree(phone->DevicePath())) << "after signal " << signal;
    }
}

} // namespace
} // namespace panelgrab::cli
