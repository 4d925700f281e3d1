#pragma once

#include <csignal>

namespace panelgrab::cli {

// Catches Ctrl-C (SIGINT) while it lives, so that a command can end cleanly (switch the phone's
// reporting off) instead of dying; the previous handler comes back when it goes.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    static bool Interrupted();

private:
    struct sigaction previous_ {};
};

} // namespace panelgrab::cli
