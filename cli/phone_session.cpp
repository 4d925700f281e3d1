#include "cli/phone_session.h"

#include <csignal>

namespace panelgrab::cli {

namespace {

SessionOptions SessionOptionsOf(const CliOptions& options, TraceSink* trace) {
    SessionOptions session;
    session.port = options.port;
    session.baud = options.baud;
    session.baudAuto = options.baudAuto;
    session.force = options.force;
    session.fastTiming = options.fastTiming;
    session.recordSession = options.recordSession;
    session.trace = trace;
    return session;
}

} // namespace

PhoneSession::PhoneSession(const CliOptions& options, CliIo& io) : options_(options), io_(io) {
    if (options.trace) {
        tracePrinter_ = std::make_unique<TracePrinter>(io.err);
    }
    SessionOptions session = SessionOptionsOf(options, tracePrinter_.get());
    session.notice = [this](const std::string& notice) { Report(notice, kExitOk); };
    session_ = std::make_unique<Session>(std::move(session));
}

PhoneSession::~PhoneSession() {
    interruptCloser_.reset();
    session_.reset(); // closes the phone before the simulator that serves its port
}

int PhoneSession::Open() {
    // Dying of the signal would skip the port's orderly close (its output flush and release).
    interruptCloser_ = std::make_unique<InterruptCloser>([this] { CloseOnInterrupt(); });
    if (Result<void> opened = session_->Open(); !opened) {
        return ReportOpenFailure(opened.failure());
    }
    return kExitOk;
}

int PhoneSession::ReportOpenFailure(const Failure& failure) {
    if (failure.kind == FailureKind::Stopped && Interrupted()) {
        return kExitFailed; // the runner says the interrupt once, with its status
    }
    if (failure.input == UserInput::Port) {
        io_.err << "panelgrab-cli: --port " << options_.port << ": " << failure.text << "\n";
        return kExitUsage;
    }
    if (failure.input == UserInput::RecordSession) {
        return Report("--record-session " + failure.text, kExitUsage);
    }
    return ReportFailure(failure, kExitNoConnection);
}

void PhoneSession::GiveGraceOnInterrupt(std::chrono::milliseconds grace) {
    const std::lock_guard lock(graceLock_);
    grace_ = grace;
    graceUsed_ = false;
}

void PhoneSession::GraceUsed() {
    {
        const std::lock_guard lock(graceLock_);
        graceUsed_ = true;
    }
    graceEnded_.notify_all();
}

void PhoneSession::CloseOnInterrupt() {
    {
        std::unique_lock lock(graceLock_);
        graceEnded_.wait_for(lock, grace_, [this] { return graceUsed_; });
    }
    session_->Abort();
}

int PhoneSession::ReportFailure(const Failure& failure, int code) {
    if (Interrupted()) {
        return code;
    }
    io_.err << "panelgrab-cli: " << FailureMessage(failure) << "\n" << std::flush;
    return code;
}

int PhoneSession::Report(std::string_view message, int code) {
    if (Interrupted()) {
        return code;
    }
    io_.err << "panelgrab-cli: " << PortLabel() << ": " << message << "\n" << std::flush;
    return code;
}

int PhoneSession::ReportInterrupt() {
    const int signal = InterruptCloser::Signal();
    const char* name = signal == SIGINT ? "Ctrl-C" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
    io_.err << "panelgrab-cli: " << PortLabel() << ": interrupted by " << name << "; the port was closed\n"
            << std::flush;
    return 128 + signal;
}

} // namespace panelgrab::cli
