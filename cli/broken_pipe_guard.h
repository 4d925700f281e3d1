#pragma once

#include <csignal>

namespace panelgrab::cli {

// While it lives, a write to a closed pipe fails with EPIPE instead of killing the program, so that
// a command that runs until stopped can finish what it has in hand and say what it did.
class BrokenPipeGuard {
public:
    BrokenPipeGuard();
    ~BrokenPipeGuard();
    BrokenPipeGuard(const BrokenPipeGuard&) = delete;
    BrokenPipeGuard& operator=(const BrokenPipeGuard&) = delete;

private:
    struct sigaction previous_ {};
};

} // namespace panelgrab::cli
