#pragma once

#include <functional>
#include <memory>

namespace panelgrab::cli {

// While it lives, the first interruption (SIGINT, SIGTERM or SIGHUP; on Windows Ctrl-C, Ctrl-Break
// or closing the console) runs `onSignal` on a thread of its own (a signal handler itself may do
// next to nothing) and is remembered. The command meant to close its port there: that ends an
// exchange blocked on the port at once, and the program then leaves through its normal path,
// releasing everything. A second interruption ends the program at once, for a command that does
// not notice. The previous handlers come back when it goes. There is one for the whole command:
// the loops that wait (listen, watch, grab --every) look at Signal() instead of catching signals
// of their own, which would take the interruption away from the port's close.
class InterruptCloser {
public:
    explicit InterruptCloser(std::function<void()> onSignal);
    ~InterruptCloser();
    InterruptCloser(const InterruptCloser&) = delete;
    InterruptCloser& operator=(const InterruptCloser&) = delete;

    // The signal that arrived while an InterruptCloser lived (on Windows SIGINT for every console
    // event), 0 when none.
    static int Signal();

private:
    struct State; // the OS's side: the watcher and what was installed before
    std::unique_ptr<State> state_;
};

} // namespace panelgrab::cli
