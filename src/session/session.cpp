#include "session/session.h"

#include <algorithm>
#include <thread>

#include "capture/read_progress.h"
#include "common/commands.h"
#include "phone/phone_link.h"
#include "phone/phone_texts.h"
#include "session/phone_failures.h"
#include "sim/sim_port_spec.h"
#include "sim/simulated_phone.h"
#include "transport/at/baud_search.h"
#include "transport/at/session_recorder.h"
#include "transport/bytes/port_timing.h"
#include "transport/ports/port_names.h"

namespace panelgrab {

namespace {

Failure BadInput(UserInput input, std::string text, std::string label = {}) {
    Failure failure = FailureOf(FailureKind::BadInput, std::move(text), std::move(label));
    failure.input = input;
    return failure;
}

} // namespace

std::string SimulatedPhoneHelp() {
    return sim::SimOptionsHelp();
}

Result<void> CheckSimulatorPort(const std::string& port) {
    const std::optional<std::vector<std::string>> args = sim::SimArgumentsOf(port);
    sim::SimOptions options;
    std::string error;
    if (args && !sim::ParseSimOptions(*args, options, error)) {
        return BadInput(UserInput::Port, error, port);
    }
    return {};
}

Session::Session(SessionOptions options, PortOverrides overrides)
    : options_(std::move(options)), overrides_(std::move(overrides)), label_(options_.port),
      baud_(options_.baud) {}

Session::~Session() {
    if (phone_) {
        phone_->Close();
        phone_.reset(); // joins any worker before the simulator that serves its port goes
    }
    simulator_.reset();
}

Result<void> Session::StartSimulator(std::string& devicePath) {
    const std::optional<std::vector<std::string>> args = sim::SimArgumentsOf(options_.port);
    sim::SimOptions simOptions;
    std::string error;
    if (!sim::ParseSimOptions(*args, simOptions, error)) {
        return BadInput(UserInput::Port, error);
    }
    simulator_ = std::make_unique<sim::SimulatedPhone>(simOptions);
    if (!simulator_->Start(error)) {
        return FailureOf(FailureKind::PortFailed, "the simulated phone could not be started: " + error);
    }
    devicePath = simulator_->DevicePath();
    label_ = "sim (" + devicePath + ")";
    return {};
}

Result<void> Session::Open() {
    std::string devicePath;
    if (Result<void> named = ResolvePort(devicePath); !named) {
        return named;
    }
    ConnectionSettings settings(devicePath, options_.baud, options_.commandLines);
    PortTiming timing = overrides_.timing.value_or(options_.fastTiming ? PortTiming::Fast() : PortTiming{});
    timing.openHeldPort = options_.force;
    settings.SetTiming(timing);
    if (options_.baudAuto) {
        if (Result<void> found = FindBaudRate(settings); !found) {
            return found;
        }
    }
    if (Result<void> made = MakePhone(settings); !made) {
        return made;
    }
    return OpenPort();
}

Result<void> Session::ResolvePort(std::string& devicePath) {
    if (IsNonePortName(options_.port)) {
        return BadInput(UserInput::Port, "opens no port; name a serial port or sim");
    }
    devicePath = options_.port;
    if (sim::SimArgumentsOf(options_.port)) {
        return StartSimulator(devicePath);
    }
    if (!overrides_.label.empty()) {
        label_ = overrides_.label;
    } else if (DevicePathOf(options_.port) != options_.port) {
        label_ = options_.port + " (" + DevicePathOf(options_.port) + ")";
    }
    return {};
}

Result<void> Session::MakePhone(const ConnectionSettings& settings) {
    TraceSink* sink = nullptr;
    if (Result<void> made = MakeTraceSink(sink); !made) {
        return made;
    }
    {
        const std::lock_guard guard(abortLock_);
        if (abortRequested_) {
            return StoppedFailure();
        }
        phone_ = overrides_.makePhone ? overrides_.makePhone(settings) : CreatePhone(settings);
    }
    if (options_.notice) {
        phone_->SetNoticeHandler(options_.notice);
    }
    phone_->SetTraceSink(sink);
    return {};
}

Failure Session::StoppedFailure() const {
    return FailureOf(FailureKind::Stopped, "stopped", label_);
}

Result<void> Session::OpenPort() {
    if (const int32_t result = phone_->Open(options_.initCommands); result != kPhoneOk) {
        return OperationFailure(*phone_, result, label_, options_.wording);
    }
    // An Abort while the port was opening found nothing open to close yet: it holds all the same.
    const std::lock_guard guard(abortLock_);
    if (abortRequested_) {
        phone_->ClosePortNow();
        reopen_ = true;
        return StoppedFailure();
    }
    reopen_ = false;
    return {};
}

Result<void> Session::FindBaudRate(ConnectionSettings& settings) {
    BaudSearch search(settings);
    {
        const std::lock_guard guard(abortLock_);
        if (abortRequested_) {
            return StoppedFailure();
        }
        search_ = &search;
    }
    const int32_t rate = search.Find();
    bool stopped = false;
    {
        const std::lock_guard guard(abortLock_);
        search_ = nullptr;
        stopped = abortRequested_;
    }
    if (stopped) {
        return StoppedFailure();
    }
    if (search.failure()) {
        return PortFailure(*search.failure(), label_, options_.wording);
    }
    if (rate == 0) {
        return FailureOf(FailureKind::NotResponding,
                         "no rate answered (tried 921600 down to 1200 baud with AT)", label_);
    }
    if (options_.notice) {
        options_.notice("the phone answers at " + std::to_string(rate) + " baud");
    }
    baud_ = rate;
    settings.SetBaudRate(rate);
    return {};
}

Result<void> Session::MakeTraceSink(TraceSink*& sink) {
    sink = options_.trace;
    if (!options_.recordSession.empty()) {
        recorder_ = std::make_unique<SessionRecorder>(sink);
        std::string error;
        if (!recorder_->Open(options_.recordSession, label_, error)) {
            Failure failure = FailureOf(FailureKind::File, error, label_);
            failure.input = UserInput::RecordSession;
            return failure;
        }
        sink = recorder_.get();
    }
    return {};
}

void Session::Abort() {
    const std::lock_guard guard(abortLock_);
    abortRequested_ = true;
    if (search_ != nullptr) {
        search_->Cancel();
    }
    if (phone_) {
        phone_->ClosePortNow();
        reopen_ = true;
    }
    aborted_.notify_all();
}

void Session::Close() {
    if (phone_) {
        phone_->Close();
        reopen_ = true;
    }
}

Result<void> Session::Reopen() {
    {
        std::unique_lock lock(abortLock_);
        abortRequested_ = false;
        if (aborted_.wait_until(lock, quietAt_, [this] { return abortRequested_; })) {
            return StoppedFailure();
        }
    }
    if (!phone_) {
        return Open(); // the first open was stopped before it made the phone object
    }
    return OpenPort();
}

std::chrono::milliseconds Session::ReadWait() const {
    return phone_ ? phone_->Port().settings().GetTiming().readWait : PortTiming{}.readWait;
}

Failure Session::OperationFailed(int32_t result, const char* operation) const {
    Failure failure = OperationFailure(*phone_, result, label_, options_.wording);
    failure.operation = operation;
    return failure;
}

Result<std::string> Session::Model() {
    std::string model;
    if (const int32_t result = phone_->GetModel(model); result != kPhoneOk) {
        return OperationFailed(result, "model");
    }
    return model;
}

Result<DisplayList> Session::Displays() {
    DisplayList displays;
    if (const int32_t result = phone_->GetDisplayList(displays); result != kPhoneOk) {
        return OperationFailed(result, "reading the display list");
    }
    displays_ = displays;
    return displays;
}

Result<DisplayInfo> Session::DisplayAt(std::size_t position) {
    if (!displays_) {
        if (Result<DisplayList> asked = Displays(); !asked) {
            return asked.failure();
        }
    }
    if (position >= displays_->size()) {
        return BadInput(UserInput::Display,
                        "the phone has no display " + std::to_string(position) + " (it describes " +
                            std::to_string(displays_->size()) + ", numbered from 0)",
                        label_);
    }
    return (*displays_)[position];
}

Result<Grabbed> Session::Grab(const DisplayInfo& display, const GrabOptions& options) {
    return options.mode == GrabMode::AtOnce ? GrabAtOnce(display) : GrabInBackground(display, options);
}

namespace {

Grabbed Share(const DisplayBitmap& bitmap) {
    return {std::make_shared<const DisplayBitmap>(bitmap),
            std::make_shared<const Picture>(bitmap.ToPicture())};
}

} // namespace

Result<Grabbed> Session::GrabAtOnce(const DisplayInfo& display) {
    DisplayBitmap bitmap;
    if (const int32_t result = phone_->ReadListedDisplay(bitmap, display); result != kPhoneOk) {
        return OperationFailed(result, "reading the display");
    }
    return Share(bitmap);
}

Result<Grabbed> Session::GrabInBackground(const DisplayInfo& display, const GrabOptions& options) {
    Result<std::unique_ptr<ScreenRead>> read = StartRead(display);
    if (!read) {
        return read.failure();
    }
    if (!FollowRead(display, options)) {
        return FailureOf(FailureKind::Stopped, "the read was stopped", label_);
    }
    if (const Result<void> outcome = (*read)->Outcome(); !outcome) {
        return outcome.failure();
    }
    const DisplayBitmap* bitmap = nullptr;
    if (phone_->GetReadImage(bitmap) != kPhoneOk || bitmap == nullptr) {
        return FailureOf(FailureKind::BadAnswer, "the picture could not be made from the data received",
                         label_);
    }
    return Share(*bitmap);
}

bool Session::FollowRead(const DisplayInfo& display, const GrabOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    const int64_t lineLength = std::max<int64_t>(display.lineLength, 1);
    try {
        for (;;) {
            const bool running = phone_->IsReadRunning(); // before the count: the last lines are seen
            const GrabProgress progress{std::max(phone_->GetReadProgress(), 0) / lineLength, display.height};
            if (options.progress && !options.progress(progress)) {
                StopRead(display, started);
                return false;
            }
            if (!running) {
                return true;
            }
            std::this_thread::sleep_for(options.pollInterval);
        }
    } catch (...) {
        StopRead(display, started);
        throw;
    }
}

void Session::StopRead(const DisplayInfo& display, std::chrono::steady_clock::time_point started) {
    NoteReadStopped(display, started);
    while (phone_->IsReadRunning()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Session::NoteReadStopped(const DisplayInfo& display, std::chrono::steady_clock::time_point started) {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    const double expected = static_cast<double>(display.height) * display.lineLength;
    const int32_t received = std::max(phone_->GetReadProgress(), 0);
    // Before the first characters only the line's speed tells; then the pace the picture came at,
    // since a phone may send slower than its line.
    double rest = RemainingLineSeconds(display, received, baud_);
    if (received > 0) {
        const double perSecond = received / std::max(duration<double>(now - started).count(), 1e-3);
        rest = (expected - received) / perSecond;
    }
    // A quarter more, and the slack of one read wait, for a pace that was not steady.
    quietAt_ = now + duration_cast<steady_clock::duration>(duration<double>(std::max(rest, 0.0) * 1.25)) +
               ReadWait();
    // Closing the port makes the transfer fail at once; the worker then ends by itself.
    phone_->ClosePortNow();
    reopen_ = true;
}

Result<uint32_t> Session::RegionChecksum(const DisplayRegion& region) {
    int32_t checksum = 0;
    if (const int32_t result = phone_->GetRegionChecksum(region, checksum); result != kPhoneOk) {
        return OperationFailed(result, "the region checksum");
    }
    return static_cast<uint32_t>(checksum); // the sum wraps at 32 bits; compared unsigned
}

Result<uint32_t> Session::Checksum(const DisplayRegion& region, int32_t displayNumber) {
    int32_t checksum = 0;
    if (const int32_t result = phone_->GetDisplayChecksum(region, displayNumber, checksum);
        result != kPhoneOk) {
        return OperationFailed(result, "checksum");
    }
    return static_cast<uint32_t>(checksum);
}

Result<void> Session::PressKeys(const std::string& keys, std::optional<KeyTiming> timing) {
    // Nothing of a key text reaches the line unless the command can carry all of it.
    if (std::string problem = KeyTextProblem(keys); !problem.empty()) {
        Failure failure = BadInput(UserInput::Keys, std::move(problem), label_);
        failure.operation = "pressing keys";
        return failure;
    }
    const int32_t result =
        timing ? phone_->PressKeyTimed(keys, timing->pressMs, timing->pauseMs) : phone_->PressKey(keys);
    if (result != kPhoneOk) {
        return OperationFailed(result, "pressing keys");
    }
    return {};
}

Sent Session::Send(const std::string& text) {
    Sent sent;
    if (const int32_t result = phone_->SendCommand(text, sent.answer); result != kPhoneOk) {
        sent.failure = OperationFailed(result, "send");
    }
    return sent;
}

Result<GuiObjectMap> Session::GuiObjects() {
    GuiObjectMap objects;
    if (const int32_t result = phone_->GetGuiObjects(objects); result != kPhoneOk) {
        return OperationFailed(result, "reading the GUI object");
    }
    return objects;
}

Result<std::unique_ptr<KeySubscription>> Session::ListenToKeys(KeyEventSink& sink) {
    if (const int32_t result = phone_->StartKeyEvents(&sink); result != kPhoneOk) {
        Failure failure = OperationFailed(result, "switching key event reporting on");
        phone_->StopKeyEvents(0);
        return failure;
    }
    return std::make_unique<KeySubscription>(*phone_, label_, options_.wording);
}

Result<std::unique_ptr<LiveView>> Session::StartLiveView(const DisplayInfo& display,
                                                         const LiveViewOptions& options,
                                                         LiveUpdateHandler handler) {
    if (phone_->IsLiveViewRunning()) { // it keeps its handler
        Failure failure = FailureOf(FailureKind::BadInput, kTextLiveViewHoldsPort, label_);
        failure.operation = "starting the live view";
        return failure;
    }
    phone_->SetLiveUpdateHandler(std::move(handler));
    if (const int32_t result = phone_->StartLiveView(display, options); result != kPhoneOk) {
        phone_->SetLiveUpdateHandler(nullptr);
        return OperationFailed(result, "starting the live view");
    }
    return std::make_unique<LiveView>(*phone_);
}

Failure Session::LiveViewEnded(const LiveView& view) const {
    return JobFailure(*phone_, view.EndReason(), label_, options_.wording, "the live view ended");
}

Result<std::unique_ptr<ScreenRead>> Session::StartRead(const DisplayInfo& display) {
    if (const int32_t result = phone_->StartScreenRead(display); result != kPhoneOk) {
        return OperationFailed(result, "starting the read");
    }
    return std::make_unique<ScreenRead>(
        *phone_, display, label_, options_.wording,
        [this, display, started = std::chrono::steady_clock::now()] { NoteReadStopped(display, started); });
}

} // namespace panelgrab
