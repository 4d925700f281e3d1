#include <atomic>
#include <csignal>
#include <iterator>

#include "cli/interrupt_guard.h"

namespace panelgrab::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Lock-free, so the handler may touch it.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int) {
    interrupted.store(true);
}

} // namespace

struct InterruptGuard::Previous {
    struct sigaction actions[std::size(kSignals)]{};
};

InterruptGuard::InterruptGuard() : previous_(std::make_unique<Previous>()) {
    interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &action, &previous_->actions[i]);
    }
}

InterruptGuard::~InterruptGuard() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &previous_->actions[i], nullptr);
    }
}

bool InterruptGuard::Interrupted() {
    return interrupted.load();
}

} // namespace panelgrab::cli
