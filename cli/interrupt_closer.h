#pragma once

#include <csignal>
#include <functional>
#include <iterator>
#include <thread>

namespace panelgrab::cli {

// While it lives, the first SIGINT, SIGTERM or SIGHUP runs `onSignal` on a thread of its own (a
// signal handler itself may do next to nothing) and is remembered. The command meant to close its
// port there: that ends an exchange blocked on the port at once, and the program then leaves
// through its normal path, releasing everything. A second signal ends the program at once, for a
// command that does not notice. The previous handlers come back when it goes; a guard made later
// (listen's) takes the signals over while it lives.
class InterruptCloser {
public:
    explicit InterruptCloser(std::function<void()> onSignal);
    ~InterruptCloser();
    InterruptCloser(const InterruptCloser&) = delete;
    InterruptCloser& operator=(const InterruptCloser&) = delete;

    // The signal that arrived while an InterruptCloser lived, 0 when none.
    static int Signal();

    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

private:
    void Watch(const std::function<void()>& onSignal) const;

    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread watcher_;
    struct sigaction previous_[std::size(kSignals)]{};
};

} // namespace panelgrab::cli
