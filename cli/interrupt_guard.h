#pragma once

#include <csignal>
#include <iterator>

namespace panelgrab::cli {

// Catches Ctrl-C (SIGINT), SIGTERM and SIGHUP while it lives, so that a command can end cleanly
// (switch the phone's reporting off) instead of dying; the previous handlers come back when it goes.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    static bool Interrupted();

    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

private:
    struct sigaction previous_[std::size(kSignals)]{};
};

} // namespace panelgrab::cli
