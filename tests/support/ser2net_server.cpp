#include "support/ser2net_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace panelgrab::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStartLimit = 5s;
constexpr auto kStopLimit = 2s;

bool IsExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

// A port on 127.0.0.1 that nothing listens at now: the kernel's choice for a bind to port 0.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::string Ser2netServer::Program() {
    if (const char* chosen = std::getenv("PANELGRAB_SER2NET"); chosen != nullptr) {
        return IsExecutable(chosen) ? chosen : "";
    }
    std::string folders = std::getenv("PATH") ? std::getenv("PATH") : "";
    folders += ":/usr/sbin:/sbin:/usr/local/sbin";
    std::istringstream list(folders);
    for (std::string folder; std::getline(list, folder, ':');) {
        if (!folder.empty() && IsExecutable(folder + "/ser2net")) {
            return folder + "/ser2net";
        }
    }
    return "";
}

Ser2netServer::~Ser2netServer() {
    Stop();
}

std::string Ser2netServer::Url() const {
    return (mode_ == Mode::Raw ? "tcp://127.0.0.1:" : "rfc2217://127.0.0.1:") + std::to_string(port_);
}

bool Ser2netServer::Start(const std::string& device, Mode mode, int baud, std::string& error) {
    Stop();
    const std::string program = Program();
    if (program.empty()) {
        error = "ser2net is not installed (scripts/install-deps installs it)";
        return false;
    }
    char folder[] = "/tmp/panelgrab-ser2net-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        error = std::string("mkdtemp: ") + std::strerror(errno);
        return false;
    }
    folder_ = folder;
    mode_ = mode;
    port_ = FreePort();
    const std::string config = folder_ + "/ser2net.yaml";
    const std::string log = folder_ + "/ser2net.log";
    {
        // "local": the device's modem lines are not watched (a pseudo-terminal has none).
        std::ofstream out(config);
        out << "connection: &phone\n"
            << "    accepter: " << (mode == Mode::Rfc2217 ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1,"
            << port_ << "\n"
            << "    enable: on\n"
            << "    connector: serialdev," << device << "," << baud << "n81,local\n";
    }
    // In the foreground (-n), without UUCP lock files (-u: /var/lock is not ours to write), with
    // its pid file beside the configuration instead of in /run.
    const std::vector<std::string> args = {program, "-n", "-u", "-c", config, "-P", folder_ + "/ser2net.pid"};
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid_ = -1;
        error = program + ": " + std::strerror(spawned);
        return false;
    }
    const auto deadline = Clock::now() + kStartLimit;
    while (!Listening()) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error = "ser2net ended at once: " + ReadText(log);
            return false;
        }
        if (Clock::now() >= deadline) {
            error = "ser2net does not listen at port " + std::to_string(port_) + ": " + ReadText(log);
            Stop();
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Whether a socket listens at our port on 127.0.0.1. Read from the kernel's table rather than by
// connecting, which ser2net would take for a client and open the device for.
bool Ser2netServer::Listening() const {
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", static_cast<unsigned>(port_));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line); // heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") { // TCP_LISTEN
            return true;
        }
    }
    return false;
}

void Ser2netServer::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const auto deadline = Clock::now() + kStopLimit;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() >= deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(2ms);
        }
        pid_ = -1;
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        folder_.clear();
    }
}

} // namespace panelgrab::test
