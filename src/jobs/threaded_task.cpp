#include "jobs/threaded_task.h"

#include <system_error>
#include <utility>

namespace panelgrab {

ThreadedTask::~ThreadedTask() {
    // A concrete job joins in its own destructor; this is the last resort for one that did not.
    Join();
}

void ThreadedTask::Join() {
    if (!worker_.joinable()) {
        return;
    }
    if (OnWorkerThread()) {
        worker_.detach();
        return;
    }
    worker_.join();
}

void ThreadedTask::LeaveToWorker(std::function<void()> lastAct) {
    lastAct_ = std::move(lastAct);
}

bool ThreadedTask::Launch(std::function<void()> work) {
    try {
        worker_ = std::thread([this, work = std::move(work)] {
            workerId_ = std::this_thread::get_id();
            work();
            workerId_ = std::thread::id(); // the id may be given to another thread from now on
            // Whatever was left to the worker may own this job: after it, no member is touched.
            std::function<void()> lastAct = std::move(lastAct_);
            if (lastAct) {
                lastAct();
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

} // namespace panelgrab
