#include "cli/interrupt_closer.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace panelgrab::cli {

namespace {

// Lock-free, so the handler may touch them.
std::atomic<int> received{0};
std::atomic<int> wakeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

// Tells the watcher to end: no signal has the number 0.
constexpr char kStop = 0;

void OnSignal(int signal) {
    int none = 0;
    if (!received.compare_exchange_strong(none, signal)) {
        // The user asks again: the first request was not noticed, so end now.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const char byte = static_cast<char>(signal);
    const int savedErrno = errno;
    (void)!::write(wakeFd.load(), &byte, 1);
    errno = savedErrno;
}

} // namespace

InterruptCloser::InterruptCloser(std::function<void()> onSignal) {
    received.store(0);
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return; // signals keep their default action: the program still ends, only less tidily
    }
    wakeRead_ = ends[0];
    wakeWrite_ = ends[1];
    wakeFd.store(wakeWrite_);
    watcher_ = std::thread([this, action = std::move(onSignal)] { Watch(action); });

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &action, &previous_[i]);
    }
}

InterruptCloser::~InterruptCloser() {
    if (!watcher_.joinable()) {
        return;
    }
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &previous_[i], nullptr);
    }
    (void)!::write(wakeWrite_, &kStop, 1);
    watcher_.join();
    wakeFd.store(-1);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

int InterruptCloser::Signal() {
    return received.load();
}

void InterruptCloser::Watch(const std::function<void()>& onSignal) const {
    for (;;) {
        char byte = kStop;
        const ssize_t n = ::read(wakeRead_, &byte, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || byte == kStop) {
            return;
        }
        onSignal();
    }
}

} // namespace panelgrab::cli
