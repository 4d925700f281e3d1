#pragma once

#include <atomic>
#include <thread>

#include "tasks/key_report_parser.h"
#include "tasks/threaded_task.h"

namespace panelgrab {

class KeyEventSink;

// Switches the phone's keypad event reporting on, listens for "+CKEV: " reports on a worker thread
// and hands each to the sink; Stop switches the reporting off again.
//
// Threading: Start, Stop, IsRunning and Join run on the owner's thread; the sink's OnKeyPressed and
// OnKeyReleased run on the worker, OnKeyEventsStopped on the thread that called Stop. The worker
// reads with short unsolicited reads, so it sees a stop request within about two idle polls; every
// port exchange runs whole under the port's own lock, so the owner may press keys meanwhile.
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
    // Ends the worker and waits for it, then sends the switch-off and tells the sink. True when the
    // switch-off succeeded.
    bool Stop() override;
    bool IsRunning() override;

private:
    void ListenLoop();
    void Deliver(const KeyEvent& event);

    KeyEventSink* sink_;
    std::atomic<bool> listening_{false}; // the worker is in its loop
    std::atomic<bool> stopRequested_{false};
    KeyReportParser parser_; // used by the worker only
};

} // namespace panelgrab
