#include "app/phone_call.h"

#include <system_error>

namespace panelgrab {

PhoneCall::PhoneCall(QObject* parent) : QObject(parent) {}

PhoneCall::~PhoneCall() {
    Abandon([] {});
}

bool PhoneCall::Start(std::function<void()> work, std::function<void()> done) {
    if (running_) {
        return false;
    }
    {
        std::lock_guard guard(lock_);
        workEnded_ = false;
    }
    const unsigned job = ++job_;
    try {
        worker_ = std::thread([this, job, work = std::move(work)] {
            work();
            {
                std::lock_guard guard(lock_);
                workEnded_ = true;
            }
            ended_.notify_all();
            // Queued: the end handler runs on the window's thread. A report still on its way when
            // this object goes is dropped with it.
            QMetaObject::invokeMethod(
                this, [this, job] { OnWorkEnded(job); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return false;
    }
    done_ = std::move(done);
    running_ = true;
    return true;
}

void PhoneCall::OnWorkEnded(unsigned job) {
    if (!running_ || job != job_) {
        return; // abandoned meanwhile
    }
    Join();
    std::function<void()> done = std::move(done_);
    done_ = nullptr;
    if (done) {
        done();
    }
}

void PhoneCall::Abandon(const std::function<void()>& nudge, std::chrono::milliseconds period) {
    if (!running_) {
        return;
    }
    std::unique_lock guard(lock_);
    while (!workEnded_) {
        guard.unlock();
        nudge();
        guard.lock();
        ended_.wait_for(guard, period, [this] { return workEnded_; });
    }
    guard.unlock();
    Join();
    done_ = nullptr;
}

void PhoneCall::Join() {
    if (worker_.joinable()) {
        worker_.join();
    }
    running_ = false;
}

} // namespace panelgrab
