#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace panelgrab {

// Runs one blocking piece of phone work (open, probe, display list, release) on a thread of its own
// and reports its end on the thread this object lives on, so the window keeps painting and taking
// clicks meanwhile.
//
// One job at a time. The job owns what it works on (the phone objects move into it and come back in
// the end handler), so no phone object is used by two threads at once; from here only
// PhoneLink::ClosePortNow may reach into a running job. The worker is always joined: the end handler
// runs after the join, and Abandon and the destructor join before they return.
class PhoneCall : public QObject {
    Q_OBJECT
public:
    explicit PhoneCall(QObject* parent = nullptr);
    ~PhoneCall() override;
    PhoneCall(const PhoneCall&) = delete;
    PhoneCall& operator=(const PhoneCall&) = delete;

    // Starts `work` on the worker; `done` runs here once the work has ended. False (and nothing
    // started) while a job runs or when no thread could be made.
    bool Start(std::function<void()> work, std::function<void()> done);
    bool IsRunning() const { return running_; }

    // Ends the running job without its end handler: calls `nudge` (from here) every `period` until
    // the work has returned, e.g. to close the port it waits on, then joins. Nothing to do when idle.
    void Abandon(const std::function<void()>& nudge,
                 std::chrono::milliseconds period = std::chrono::milliseconds(20));

private:
    void OnWorkEnded(unsigned job);
    void Join();

    std::thread worker_;
    std::function<void()> done_;
    bool running_ = false;
    unsigned job_ = 0; // counts the jobs, so a late report of an abandoned one is ignored

    std::mutex lock_;
    std::condition_variable ended_;
    bool workEnded_ = false; // guarded by lock_
};

} // namespace panelgrab
