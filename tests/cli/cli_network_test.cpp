// The built program on network ports through ser2net: the same file as from the local port, and
// failures that name the URL and the reason with exit status 3.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

#include "cli/exit_codes.h"
#include "sim/simulated_phone.h"
#include "support/ser2net_server.h"

namespace panelgrab::cli {
namespace {

namespace fs = std::filesystem;
using test::Ser2netServer;
using Clock = std::chrono::steady_clock;

struct Outcome {
    int exitCode = -1;
    std::string err;
    std::chrono::milliseconds elapsed{0};
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string TempPath(const std::string& name) {
    return (fs::temp_directory_path() / ("panelgrab-cli-net-" + std::to_string(getpid()) + "-" + name))
        .string();
}

// Runs the built program with the normal timing, as a user does.
Outcome RunProgram(const std::string& args) {
    const std::string err = TempPath("err");
    const auto start = Clock::now();
    const int status = std::system(
        (std::string(PANELGRAB_CLI_PROGRAM) + " " + args + " </dev/null >/dev/null 2>" + err).c_str());
    Outcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(err),
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)};
    fs::remove(err);
    return run;
}

class CliNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        if (Ser2netServer::Program().empty()) {
            GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
        }
        std::string error;
        ASSERT_TRUE(phone_.Start(error)) << error;
    }

    sim::SimulatedPhone phone_{sim::SimOptions{}};
};

TEST_F(CliNetwork, GrabThroughEitherModeWritesTheFileOfALocalGrab) {
    const std::string local = TempPath("local.png");
    const Outcome direct = RunProgram("--port " + phone_.DevicePath() + " grab -o " + local);
    ASSERT_EQ(direct.exitCode, kExitOk) << direct.err;
    for (const auto mode : {Ser2netServer::Mode::Raw, Ser2netServer::Mode::Rfc2217}) {
        Ser2netServer server;
        std::string error;
        ASSERT_TRUE(server.Start(phone_.DevicePath(), mode, 115200, error)) << error;
        const std::string remote = TempPath("remote.png");
        const Outcome grab = RunProgram("--port " + server.Url() + " grab -o " + remote);
        ASSERT_EQ(grab.exitCode, kExitOk) << server.Url() << ": " << grab.err;
        EXPECT_TRUE(ReadFile(remote) == ReadFile(local)) << server.Url() << ": not the local grab's file";
        fs::remove(remote);
    }
    fs::remove(local);
}

// A client of ser2net that holds the port: connected, and greeted, so ser2net has given it the port.
int HoldPort(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    char greeting = 0;
    pollfd readable{fd, POLLIN, 0};
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::poll(&readable, 1, 2000) != 1 || ::recv(fd, &greeting, 1, 0) != 1) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST_F(CliNetwork, FailuresNameTheUrlAndTheReasonWithExitThree) {
    Ser2netServer server;
    std::string error;
    ASSERT_TRUE(server.Start(phone_.DevicePath(), Ser2netServer::Mode::Rfc2217, 115200, error)) << error;
    const std::string url = server.Url();
    const int holder = HoldPort(server.port());
    ASSERT_GE(holder, 0);
    const Outcome busy = RunProgram("--port " + url + " model");
    ::close(holder);
    server.Stop();
    const Outcome refused = RunProgram("--port " + url + " grab -o " + TempPath("never.png"));
    const std::string unknownUrl = "tcp://panelgrab-no-such-host.invalid:2000";
    const Outcome unknown = RunProgram("--port " + unknownUrl + " keys 1");

    const std::tuple<const char*, const Outcome&, std::string, std::string> cases[] = {
        {"busy", busy, url, "connection closed by the server"},
        {"refused", refused, url, "connection refused"},
        {"unknown host", unknown, unknownUrl, "host name"},
    };
    for (const auto& [name, run, shownUrl, reason] : cases) {
        EXPECT_EQ(run.exitCode, kExitNoConnection) << name << ": " << run.err;
        EXPECT_EQ(run.err.find("panelgrab-cli: " + shownUrl + ": "), 0u) << name << ": " << run.err;
        EXPECT_NE(run.err.find(reason), std::string::npos) << name << ": " << run.err;
        // Within the open's time-outs: none of these waits for the connect wait (5 s).
        EXPECT_LT(run.elapsed, std::chrono::seconds(5)) << name;
    }
    EXPECT_FALSE(fs::exists(TempPath("never.png")));
}

} // namespace
} // namespace panelgrab::cli
