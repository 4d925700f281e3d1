#pragma once

#include <atomic>
#include <string>

#include "jobs/threaded_task.h"

namespace panelgrab {

class KeyEventSink;

// Switches the phone's keypad event reporting on, hands each "+CKEV: " report to the sink from a
// worker thread, and switches the reporting off again at the end.
//
// The worker takes the reports that the port has set aside (see SerialPort::TakeUnsolicited): those
// it reads itself while the line is idle and those any exchange or picture transfer met meanwhile,
// all in arrival order. It never waits for the port's exchange lock, so a stop is seen within one
// read wait even while a picture transfer holds the port.
//
// Threading: Start, Stop, IsRunning and Join run on the owner's thread; the sink's callbacks run on
// the worker, except OnKeyEventsStopped, which runs on the thread that called Stop. From inside a
// callback (the worker's own thread) only RequestStop and Resume may be called.
class KeyEventListener : public ThreadedTask {
public:
    KeyEventListener(KeyEventSink* sink, SerialPort& listenPort);
    // Ends and joins a worker that was not stopped (without switching the reporting off).
    ~KeyEventListener() override;

    // Returns 0 and leaves the flag alone: every phone with AT+CMER can do this.
    int IsSupported(bool& supported) override;
    int Run() override;
    // Sends the switch-on; false (and no worker) when the phone refused it or a worker exists.
    bool Start() override;
    // Ends the worker and waits for it, then sends the switch-off (or leaves it to the exchange that
    // holds the port, to run right after it) and tells the sink. False when the switch-off was sent
    // and got no OK.
    bool Stop() override;
    bool IsRunning() override;

    // No event reaches the sink once the callback that calls this has returned; the worker then
    // switches the reporting off itself and ends. Safe on any thread.
    void RequestStop();
    // Undoes a RequestStop made in the same callback: the worker goes on listening.
    void Resume();

private:
    enum StopState : int { kListening, kStopByCallback, kStopByOwner };

    void ListenLoop();
    void Deliver(const std::string& report);
    bool StopRequested() const { return stop_.load() != kListening; }
    bool SwitchOff();

    KeyEventSink* sink_;
    std::atomic<bool> listening_{false}; // the worker is in its loop
    std::atomic<int> stop_{kListening};  // an owner's stop is never undone by Resume
    // Set by the worker when a callback's stop made it switch the reporting off itself.
    bool workerSwitchedOff_ = false;
    bool switchOffAnswered_ = false;
};

} // namespace panelgrab
