#include "bench/phone_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace panelgrab::bench {
namespace {

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

} // namespace

bool PhoneProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        std::cerr << program << ": " << std::strerror(spawned) << "\n";
        return false;
    }
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') {
        device_.push_back(c);
    }
    close(out[0]);
    return !device_.empty();
}

double PhoneProcess::Stop() {
    if (pid_ <= 0) {
        return 0;
    }
    kill(pid_, SIGTERM);
    int status = 0;
    rusage usage{};
    while (wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

std::string PhoneProcess::DefaultProgram(const char* argv0) {
#ifdef PANELGRAB_PHONESIM_PATH
    (void)argv0;
    return PANELGRAB_PHONESIM_PATH;
#else
    const std::string self = argv0;
    return self.substr(0, self.rfind('/') + 1) + "panelgrab-phonesim";
#endif
}

} // namespace panelgrab::bench
