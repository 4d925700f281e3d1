#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "cli/cli_io.h"
#include "cli/cli_options.h"
#include "cli/interrupt_closer.h"
#include "cli/trace_printer.h"
#include "phone/phone_link.h"
#include "sim/simulated_phone.h"
#include "transport/session_recorder.h"

namespace panelgrab::cli {

// The phone one command talks to: the simulated phone when --port names it, the phone object
// over the port, and the trace printer when --trace asks for one. Closes everything in the right
// order: the phone before the simulator that serves its port.
class PhoneSession {
public:
    PhoneSession(const CliOptions& options, CliIo& io);
    ~PhoneSession();
    PhoneSession(const PhoneSession&) = delete;
    PhoneSession& operator=(const PhoneSession&) = delete;

    // Starts the simulator if asked, makes the phone object and opens it (which probes the phone).
    // Returns an exit code; on failure the message naming the port and the reason is printed.
    int Open();

    PhoneLink& Phone() { return *phone_; }
    // The port as messages name it: "COM1 (/dev/ttyS0)", "sim (/dev/pts/4)", "/dev/ttyUSB0".
    const std::string& PortLabel() const { return portLabel_; }

    // Prints why an operation failed: for result 5 the phone object's own reason where it has one,
    // else the port's text, OS reason and advice; an unusable answer for result 6. Returns kExitFailed.
    int ReportFailure(std::string_view operation, int32_t result);
    // Prints a message about this port and returns `code`; after an interrupt it prints nothing,
    // since the failure is only its consequence.
    int Report(std::string_view message, int code);

    // True once Ctrl-C, SIGTERM or SIGHUP arrived (from Open() on); the port is closed then, or
    // about to be when a command asked for a grace.
    bool Interrupted() const { return interruptCloser_ && InterruptCloser::Signal() != 0; }
    // From now on an interruption leaves the command up to `grace` to do what must be done before the
    // port closes (listen switches the phone's reporting off); GraceUsed() says it is done.
    void GiveGraceOnInterrupt(std::chrono::milliseconds grace);
    void GraceUsed();
    // Says that the command was interrupted and returns 128 + the signal, as a shell reports it.
    int ReportInterrupt();

private:
    int StartSimulator(std::string& devicePath);
    // --baud auto: the rate the phone answers at into `settings`, said on stderr.
    int FindBaudRate(ConnectionSettings& settings);
    // --trace and --record-session: the sink the port reports its traffic to (null: none).
    int MakeTraceSink(TraceSink*& sink);
    // The interruption's action, on the closer's thread: waits out the grace, then closes the port.
    void CloseOnInterrupt();

    const CliOptions& options_;
    CliIo& io_;
    std::string portLabel_;
    std::unique_ptr<sim::SimulatedPhone> simulator_;
    std::unique_ptr<TracePrinter> tracePrinter_;
    std::unique_ptr<SessionRecorder> sessionRecorder_;
    std::unique_ptr<PhoneLink> phone_;
    std::mutex graceLock_;
    std::condition_variable graceEnded_;
    std::chrono::milliseconds grace_{0}; // guarded by graceLock_, as is graceUsed_
    bool graceUsed_ = false;
    std::unique_ptr<InterruptCloser> interruptCloser_; // closes phone_'s port on a signal
};

} // namespace panelgrab::cli
