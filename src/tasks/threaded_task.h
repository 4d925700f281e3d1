#pragma once

#include <thread>

#include "tasks/phone_task.h"

namespace panelgrab {

// A job that runs on a worker thread of its own. The owner always joins the worker (Join) before
// it destroys the job: a job is never freed while its worker runs.
class ThreadedTask : public PhoneTask {
public:
    using PhoneTask::PhoneTask;

    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual bool IsRunning() = 0;
    // Waits until the worker thread has ended and joins it; returns at once when there is none.
    // The caller first makes the worker's transfer end (for example by closing the port).
    virtual void Join() {
        if (worker_.joinable()) {
            worker_.join();
        }
    }
    // True on the job's own worker thread (inside a callback it makes): a wait for the worker from
    // there would wait for itself.
    bool OnWorkerThread() const { return worker_.get_id() == std::this_thread::get_id(); }

protected:
    std::thread worker_; // started by Start of the concrete job; joined by Join
};

} // namespace panelgrab
