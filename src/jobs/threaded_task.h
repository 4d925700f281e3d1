#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "jobs/phone_task.h"

namespace panelgrab {

// A job that runs on a worker thread of its own. The owner joins the worker (Join) before it
// destroys the job: a job is never freed while its worker runs.
//
// The worker may call back into the owner, and the owner may then want to end the job from inside
// that callback, on the worker's own thread, where a join would wait for itself. Join notices that
// and detaches instead; the owner then hands the job (and whatever the worker still uses) to the
// worker with LeaveToWorker, and the worker frees it as its very last step.
class ThreadedTask : public PhoneTask {
public:
    using PhoneTask::PhoneTask;
    ~ThreadedTask() override;

    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual bool IsRunning() = 0;
    // Waits until the worker thread has ended and joins it; returns at once when there is none. The
    // caller first makes the worker's transfer end (for example by closing the port). On the
    // worker's own thread it detaches the worker instead (see LeaveToWorker).
    virtual void Join();
    // True on the job's own worker thread (inside a callback it makes).
    bool OnWorkerThread() const { return workerId_.load() == std::this_thread::get_id(); }
    // On the worker's own thread, after Join: `lastAct` runs when the worker's work has returned, as
    // the worker's last step; it owns what must outlive the worker, this job included.
    void LeaveToWorker(std::function<void()> lastAct);

protected:
    // Starts the worker on `work`; false when no thread could be made.
    bool Launch(std::function<void()> work);

private:
    std::thread worker_;
    std::atomic<std::thread::id> workerId_{};
    std::function<void()> lastAct_; // set and taken on the worker's thread only
};

} // namespace panelgrab
