#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "cli/cli_io.h"
#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_closer.h"
#include "cli/trace_printer.h"
#include "session/session.h"

namespace panelgrab::cli {

// The phone one command talks to: the session over the port --port names, the trace printer when
// --trace asks for one, and the interruption that closes the port. Reports failures the
// command-line way: "panelgrab-cli: PORT: ...", with the exit code that fits.
class PhoneSession {
public:
    PhoneSession(const CliOptions& options, CliIo& io);
    ~PhoneSession();
    PhoneSession(const PhoneSession&) = delete;
    PhoneSession& operator=(const PhoneSession&) = delete;

    // Opens the session (which probes the phone). Returns an exit code; on failure the message
    // naming the port and the reason is printed.
    int Open();

    Session& Core() { return *session_; }
    // The port as messages name it: "COM1 (/dev/ttyS0)", "sim (/dev/pts/4)", "/dev/ttyUSB0".
    const std::string& PortLabel() const { return session_->PortLabel(); }

    // Prints the failure in the words every face uses ("PORT: OPERATION failed: REASON") and
    // returns `code`.
    int ReportFailure(const Failure& failure, int code = kExitFailed);
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
    // The exit code and message for a session that could not be opened.
    int ReportOpenFailure(const Failure& failure);
    // The interruption's action, on the closer's thread: waits out the grace, then closes the port.
    void CloseOnInterrupt();

    const CliOptions& options_;
    CliIo& io_;
    std::unique_ptr<TracePrinter> tracePrinter_;
    std::unique_ptr<Session> session_;
    std::mutex graceLock_;
    std::condition_variable graceEnded_;
    std::chrono::milliseconds grace_{0}; // guarded by graceLock_, as is graceUsed_
    bool graceUsed_ = false;
    std::unique_ptr<InterruptCloser> interruptCloser_; // ends session_'s port or baud search on a signal
};

} // namespace panelgrab::cli
