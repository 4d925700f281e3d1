#pragma once

#include <memory>

namespace panelgrab::cli {

// Catches Ctrl-C (SIGINT), SIGTERM and SIGHUP while it lives (on Windows Ctrl-C, Ctrl-Break and
// closing the console window), so that a command can end cleanly (switch the phone's reporting off)
// instead of dying; the previous handlers come back when it goes.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    static bool Interrupted();

private:
    struct Previous; // what the OS had installed before
    std::unique_ptr<Previous> previous_;
};

} // namespace panelgrab::cli
