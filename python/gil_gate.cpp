#include "python/gil_gate.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace panelgrab::python {

namespace {

std::mutex gateLock;
std::condition_variable passed;
bool shut = false;         // guarded by gateLock, as are the two below
std::thread::id finalizer; // the thread that shut the gate, and ends the interpreter
int passing = 0;           // threads let through that do not hold the GIL yet

[[noreturn]] void WaitForTheEnd() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
}

// Lets the calling thread on towards the GIL, or keeps it here for good once the gate is shut.
void Enter() {
    std::unique_lock lock(gateLock);
    if (shut && std::this_thread::get_id() != finalizer) {
        lock.unlock();
        WaitForTheEnd();
    }
    ++passing;
}

// The thread holds the GIL now.
void Passed() {
    {
        const std::lock_guard lock(gateLock);
        --passing;
    }
    passed.notify_all();
}

} // namespace

void GilGate::Close() {
    PyThreadState* const state = PyEval_SaveThread();
    {
        std::unique_lock lock(gateLock);
        shut = true;
        finalizer = std::this_thread::get_id();
        // They are waiting for the GIL this thread just gave up; each takes its turn.
        passed.wait(lock, [] { return passing == 0; });
    }
    PyEval_RestoreThread(state);
}

GilGate::Released::Released() : state_(PyEval_SaveThread()) {}

GilGate::Released::~Released() {
    Enter();
    PyEval_RestoreThread(state_);
    Passed();
}

GilGate::Acquired::Acquired() {
    {
        const std::lock_guard lock(gateLock);
        if (shut && std::this_thread::get_id() != finalizer) {
            return;
        }
        ++passing;
    }
    state_ = PyGILState_Ensure();
    held_ = true;
    Passed();
}

GilGate::Acquired::~Acquired() {
    if (held_) {
        PyGILState_Release(state_);
    }
}

} // namespace panelgrab::python
