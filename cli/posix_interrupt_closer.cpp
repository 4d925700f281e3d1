#include "cli/interrupt_closer.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <iterator>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace panelgrab::cli {

namespace {

// Lock-free, so the handler may touch them.
std::atomic<int> received{0};
std::atomic<int> wakeFd{-1};
std::atomic<int64_t> receivedAtNs{0}; // when the first signal came; 0 while its handler still runs
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<int64_t>::is_always_lock_free);

// The same signal again within this time is the same request: `timeout` and a kill of the process
// group send it to the program twice at once. A user's second Ctrl-C comes far later.
constexpr int64_t kSameRequestNs = 20'000'000;

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now); // safe in a signal handler
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Tells the watcher to end: no signal has the number 0.
constexpr char kStop = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signal) {
    const int64_t now = MonotonicNs();
    int none = 0;
    if (!received.compare_exchange_strong(none, signal)) {
        const int64_t first = receivedAtNs.load();
        if (signal == none && (first == 0 || now - first < kSameRequestNs)) {
            return;
        }
        // The user asks again: the first request was not noticed, so end now.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    receivedAtNs.store(now);
    const char byte = static_cast<char>(signal);
    const int savedErrno = errno;
    (void)!::write(wakeFd.load(), &byte, 1);
    errno = savedErrno;
}

// Runs the closer's action for every signal the handler passes on, until told to stop.
void Watch(int wakeRead, const std::function<void()>& onSignal) {
    for (;;) {
        char byte = kStop;
        const ssize_t n = ::read(wakeRead, &byte, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || byte == kStop) {
            return;
        }
        onSignal();
    }
}

} // namespace

struct InterruptCloser::State {
    int wakeRead = -1;
    int wakeWrite = -1;
    std::thread watcher;
    struct sigaction previous[std::size(kSignals)]{};
};

InterruptCloser::InterruptCloser(std::function<void()> onSignal) : state_(std::make_unique<State>()) {
    received.store(0);
    receivedAtNs.store(0);
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return; // signals keep their default action: the program still ends, only less tidily
    }
    state_->wakeRead = ends[0];
    state_->wakeWrite = ends[1];
    wakeFd.store(state_->wakeWrite);
    state_->watcher = std::thread(Watch, state_->wakeRead, std::move(onSignal));

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &action, &state_->previous[i]);
    }
}

InterruptCloser::~InterruptCloser() {
    if (!state_->watcher.joinable()) {
        return;
    }
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &state_->previous[i], nullptr);
    }
    (void)!::write(state_->wakeWrite, &kStop, 1);
    state_->watcher.join();
    wakeFd.store(-1);
    ::close(state_->wakeRead);
    ::close(state_->wakeWrite);
}

int InterruptCloser::Signal() {
    return received.load();
}

} // namespace panelgrab::cli
