#pragma once

#include <chrono>
#include <functional>

namespace panelgrab::python {

// Blocking library work for a Python caller: it runs with the GIL released, so that other Python
// threads go on, and Ctrl-C (a signal whose Python handler raises, e.g. KeyboardInterrupt) ends it
// within one slice. Signal handlers run on Python's main thread only; elsewhere the work is just
// waited for.
class InterruptibleCall {
public:
    // How often the waiting thread looks at Python's signals.
    static constexpr std::chrono::milliseconds kSlice{25};

    // Runs `work` on a helper thread; the calling thread holds the GIL on entry and looks at the
    // signals every slice. When a handler raises, `interrupt` runs (it must make `work` end at once,
    // e.g. by closing the port), `work` is waited for, and the handler's exception is thrown as
    // pybind11's error_already_set. `work` must not touch Python.
    static void Run(const std::function<void()>& work, const std::function<void()>& interrupt);

    // Waits `duration` with the GIL released, then runs the signal handlers; throws error_already_set
    // when one raised. GIL held on entry.
    static void Pause(std::chrono::milliseconds duration);
};

} // namespace panelgrab::python
