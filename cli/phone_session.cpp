#include "cli/phone_session.h"

#include <csignal>

#include "cli/exit_codes.h"
#include "phone/phone_failure_text.h"
#include "sim/sim_port_spec.h"
#include "transport/baud_search.h"
#include "transport/port_failure.h"
#include "transport/port_names.h"
#include "transport/port_timing.h"

namespace panelgrab::cli {

PhoneSession::PhoneSession(const CliOptions& options, CliIo& io)
    : options_(options), io_(io), portLabel_(options.port) {}

PhoneSession::~PhoneSession() {
    interruptCloser_.reset();
    if (phone_) {
        phone_->Close();
        phone_.reset(); // joins any worker before the simulator goes
    }
    simulator_.reset();
}

int PhoneSession::StartSimulator(std::string& devicePath) {
    std::optional<std::vector<std::string>> args = sim::SimArgumentsOf(options_.port);
    sim::SimOptions simOptions;
    std::string error;
    if (!sim::ParseSimOptions(*args, simOptions, error)) {
        io_.err << "panelgrab-cli: --port " << options_.port << ": " << error << "\n";
        return kExitUsage;
    }
    simulator_ = std::make_unique<sim::SimulatedPhone>(simOptions);
    if (!simulator_->Start(error)) {
        io_.err << "panelgrab-cli: the simulated phone could not be started: " << error << "\n";
        return kExitNoConnection;
    }
    devicePath = simulator_->DevicePath();
    portLabel_ = "sim (" + devicePath + ")";
    return kExitOk;
}

int PhoneSession::Open() {
    if (IsNonePortName(options_.port)) {
        io_.err << "panelgrab-cli: --port " << options_.port << " opens no port; name a serial port or sim\n";
        return kExitUsage;
    }
    std::string devicePath = options_.port;
    if (sim::SimArgumentsOf(options_.port)) {
        if (int code = StartSimulator(devicePath); code != kExitOk) {
            return code;
        }
    } else if (DevicePathOf(options_.port) != options_.port) {
        portLabel_ = options_.port + " (" + DevicePathOf(options_.port) + ")";
    }

    ConnectionSettings settings(devicePath, options_.baud);
    PortTiming timing = options_.fastTiming ? PortTiming::Fast() : PortTiming{};
    timing.openHeldPort = options_.force;
    settings.SetTiming(timing);
    if (options_.baudAuto) {
        if (int code = FindBaudRate(settings); code != kExitOk) {
            return code;
        }
    }
    phone_ = CreatePhone(settings);
    if (!phone_) {
        return Report("no phone object could be made", kExitFailed);
    }
    phone_->SetNoticeHandler([this](const std::string& notice) { Report(notice, kExitOk); });
    TraceSink* sink = nullptr;
    if (int code = MakeTraceSink(sink); code != kExitOk) {
        return code;
    }
    phone_->SetTraceSink(sink);
    // Dying of the signal would skip the port's orderly close (its output flush and release).
    interruptCloser_ = std::make_unique<InterruptCloser>([this] { CloseOnInterrupt(); });
    if (phone_->Open(false) != kPhoneOk) {
        return Report(DescribePortFailure(phone_->Port()), kExitNoConnection);
    }
    return kExitOk;
}

int PhoneSession::FindBaudRate(ConnectionSettings& settings) {
    BaudSearch search(settings);
    int32_t rate = 0;
    {
        const InterruptCloser closer([&search] { search.Cancel(); });
        rate = search.Find();
        if (InterruptCloser::Signal() != 0) {
            return ReportInterrupt();
        }
    }
    if (!search.failure().empty()) {
        return Report(search.failure(), kExitNoConnection);
    }
    if (rate == 0) {
        return Report("no rate answered (tried 921600 down to 1200 baud with AT)", kExitNoConnection);
    }
    io_.err << "panelgrab-cli: " << portLabel_ << ": the phone answers at " << rate << " baud\n"
            << std::flush;
    settings.SetBaudRate(rate);
    return kExitOk;
}

int PhoneSession::MakeTraceSink(TraceSink*& sink) {
    if (options_.trace) {
        tracePrinter_ = std::make_unique<TracePrinter>(io_.err);
        sink = tracePrinter_.get();
    }
    if (!options_.recordSession.empty()) {
        sessionRecorder_ = std::make_unique<SessionRecorder>(sink);
        std::string error;
        if (!sessionRecorder_->Open(options_.recordSession, portLabel_, error)) {
            return Report("--record-session " + error, kExitUsage);
        }
        sink = sessionRecorder_.get();
    }
    return kExitOk;
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
    phone_->ClosePortNow();
}

int PhoneSession::ReportFailure(std::string_view operation, int32_t result) {
    return Report(std::string(operation) + " failed: " + DescribeOperationFailure(*phone_, result),
                  kExitFailed);
}

int PhoneSession::Report(std::string_view message, int code) {
    if (Interrupted()) {
        return code;
    }
    io_.err << "panelgrab-cli: " << portLabel_ << ": " << message << "\n" << std::flush;
    return code;
}

int PhoneSession::ReportInterrupt() {
    const int signal = InterruptCloser::Signal();
    const char* name = signal == SIGINT ? "Ctrl-C" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
    io_.err << "panelgrab-cli: " << portLabel_ << ": interrupted by " << name << "; the port was closed\n"
            << std::flush;
    return 128 + signal;
}

} // namespace panelgrab::cli
