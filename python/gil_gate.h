#pragma once

#include <Python.h>

namespace panelgrab::python {

// Every thread of ours gives the GIL up and takes it back through this gate, so that none meets
// the interpreter's end while it waits for the GIL: CPython ends such a thread where it stands
// (pthread_exit), unwinding C++ frames that may not be unwound ("terminate called without an active
// exception", and the process aborts). Close() shuts the gate at exit, before the interpreter
// finalizes; from then on a thread that would take the GIL back sleeps until the process ends
// instead, holding on to what it has.
class GilGate {
public:
    // Shuts the gate once the threads already on their way through have passed. Called once, at
    // exit, by the thread that then finalizes (it keeps passing). GIL held on entry.
    static void Close();

    // Gives the GIL up for the scope; the destructor takes it back through the gate.
    class Released {
    public:
        Released();
        ~Released();
        Released(const Released&) = delete;
        Released& operator=(const Released&) = delete;

    private:
        PyThreadState* state_;
    };

    // Takes the GIL for the scope on a thread that does not hold it (a library thread), unless the
    // gate is shut: then held() is false and Python must not be touched.
    class Acquired {
    public:
        Acquired();
        ~Acquired();
        Acquired(const Acquired&) = delete;
        Acquired& operator=(const Acquired&) = delete;
        bool held() const { return held_; }

    private:
        bool held_ = false;
        PyGILState_STATE state_{};
    };
};

} // namespace panelgrab::python
