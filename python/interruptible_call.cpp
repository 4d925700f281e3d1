#include "python/interruptible_call.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include <pybind11/pybind11.h>

#include "python/gil_gate.h"

namespace py = pybind11;

namespace panelgrab::python {

void InterruptibleCall::Run(const std::function<void()>& work, const std::function<void()>& interrupt) {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
    std::thread helper([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> guard(lock);
        done = true;
        finished.notify_all();
    });
    for (;;) {
        bool ended = false;
        {
            const GilGate::Released release;
            std::unique_lock<std::mutex> guard(lock);
            ended = finished.wait_for(guard, kSlice, [&] { return done; });
        }
        if (ended) {
            break;
        }
        if (PyErr_CheckSignals() != 0) {
            {
                const GilGate::Released release;
                interrupt();
                helper.join();
            }
            throw py::error_already_set(); // made with the GIL held: it takes the pending exception
        }
    }
    {
        const GilGate::Released release;
        helper.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void InterruptibleCall::Pause(std::chrono::milliseconds duration) {
    {
        const GilGate::Released release;
        std::this_thread::sleep_for(duration);
    }
    if (PyErr_CheckSignals() != 0) {
        throw py::error_already_set();
    }
}

} // namespace panelgrab::python
