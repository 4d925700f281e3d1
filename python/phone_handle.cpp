#include "python/phone_handle.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "python/gil_gate.h"
#include "python/interruptible_call.h"
#include "python/phone_failure.h"
#include "python/screen.h"
#include "sim/sim_port_spec.h"
#include "transport/baud_search.h"
#include "transport/port_names.h"
#include "transport/port_timing.h"

namespace py = pybind11;

namespace panelgrab::python {

namespace {

// How often a grab looks at the read's progress and at Ctrl-C.
constexpr std::chrono::milliseconds kReadPoll{25};

// Switches key reporting off for a phone being closed, within one read wait: a phone that has not
// answered by then gets its port closed under the exchange, so that close() never waits out the
// retries of a phone that stopped answering.
void SwitchReportingOffBriefly(PhoneLink& phone) {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    std::thread closer([&] {
        std::unique_lock<std::mutex> guard(lock);
        if (!ended.wait_for(guard, phone.Port().settings().GetTiming().readWait, [&] { return done; })) {
            phone.ClosePortNow();
        }
    });
    phone.StopKeyEvents(0);
    {
        const std::lock_guard<std::mutex> guard(lock);
        done = true;
    }
    ended.notify_all();
    closer.join();
}

} // namespace

std::shared_ptr<PhoneHandle> PhoneHandle::Open(Settings settings) {
    if (IsNonePortName(settings.port)) {
        throw py::value_error("port " + settings.port + " opens no port; name a serial port or \"sim\"");
    }
    std::shared_ptr<PhoneHandle> handle(new PhoneHandle());
    handle->label_ = settings.port;
    handle->initCommands_ = settings.initCommands;
    handle->baud_ = settings.baud;
    std::string devicePath = DevicePathOf(settings.port);
    if (const std::optional<std::vector<std::string>> args = sim::SimArgumentsOf(settings.port)) {
        sim::SimOptions options;
        std::string error;
        if (!sim::ParseSimOptions(*args, options, error)) {
            throw py::value_error(settings.port + ": " + error);
        }
        handle->simulator_ = std::make_unique<sim::SimulatedPhone>(options);
        if (!handle->simulator_->Start(error)) {
            Raise({ErrorKind::Port, "the simulated phone could not be started: " + error});
        }
        devicePath = handle->simulator_->DevicePath();
        handle->label_ = "sim (" + devicePath + ")";
    } else if (devicePath != settings.port) {
        handle->label_ = settings.port + " (" + devicePath + ")";
    }

    ConnectionSettings connection(devicePath, settings.baud, settings.commandLines);
    PortTiming timing = settings.fastTiming ? PortTiming::Fast() : PortTiming{};
    timing.openHeldPort = settings.force;
    connection.SetTiming(timing);
    if (settings.baudAuto) {
        handle->baud_ = handle->FindBaudRate(connection);
        connection.SetBaudRate(handle->baud_);
    }
    handle->phone_ = CreatePhone(connection);
    TraceSink* sink = nullptr;
    if (!settings.trace.is_none()) {
        handle->trace_ = std::make_unique<TraceBridge>(settings.trace);
        sink = handle->trace_.get();
    }
    if (!settings.recordSession.empty()) {
        handle->recorder_ = std::make_unique<SessionRecorder>(sink);
        std::string error;
        if (!handle->recorder_->Open(settings.recordSession, handle->label_, error)) {
            PyErr_SetString(PyExc_OSError, ("record_session: " + error).c_str());
            throw py::error_already_set();
        }
        sink = handle->recorder_.get();
    }
    handle->phone_->SetTraceSink(sink);
    PhoneLink& phone = *handle->phone_;
    int32_t result = kPhoneOk;
    InterruptibleCall::Run([&] { result = phone.Open(settings.initCommands); },
                           [&] { phone.ClosePortNow(); });
    if (result != kPhoneOk) {
        Raise(PhoneFailure::Open(phone.Port(), handle->label_)); // the handle closes what it opened
    }
    return handle;
}

int32_t PhoneHandle::FindBaudRate(ConnectionSettings connection) const {
    BaudSearch search(std::move(connection));
    int32_t rate = 0;
    InterruptibleCall::Run([&] { rate = search.Find(); }, [&] { search.Cancel(); });
    if (!search.failure().empty()) {
        Raise({ErrorKind::Port, label_ + ": " + search.failure()});
    }
    if (rate == 0) {
        Raise({ErrorKind::NotResponding,
               label_ + ": no rate answered (tried 921600 down to 1200 baud with AT)"});
    }
    return rate;
}

PhoneHandle::~PhoneHandle() {
    if (PyGILState_Check() != 0) {
        {
            const GilGate::Released release;
            Release();
        }
        recorder_.reset();
        trace_.reset();
        return;
    }
    Release();
    const GilGate::Acquired acquire;
    if (!acquire.held()) {
        (void)trace_.release(); // its callable may not be touched once the interpreter ends
        (void)recorder_.release();
        return;
    }
    recorder_.reset();
    trace_.reset();
}

void PhoneHandle::Release() {
    std::unique_ptr<PhoneLink> phone;
    std::shared_ptr<KeyEventQueue> events;
    {
        const std::lock_guard<std::mutex> guard(abortLock_);
        phone = std::move(phone_);
        events = std::move(events_);
    }
    if (events) {
        events->End();
    }
    if (phone) {
        if (events) {
            SwitchReportingOffBriefly(*phone);
        }
        phone->Close();
        phone.reset(); // joins the workers before the simulator that serves their port goes
    }
    simulator_.reset();
}

void PhoneHandle::AbortOperation() {
    const std::lock_guard<std::mutex> guard(abortLock_);
    if (phone_) {
        phone_->ClosePortNow();
    }
}

void PhoneHandle::Close() {
    closing_ = true;
    {
        const std::lock_guard<std::mutex> guard(abortLock_);
        if (events_) {
            events_->End(); // iterations waiting on other threads end now, this one's next() too
        }
    }
    const Guard guard(*this, true);
    {
        const GilGate::Released release;
        Release();
    }
    recorder_.reset();
    trace_.reset();
}

bool PhoneHandle::closed() {
    const Guard guard = Lock();
    return phone_ == nullptr;
}

PhoneHandle::Guard::Guard(PhoneHandle& phone, bool abortOwner) : phone_(phone) {
    if (phone.owner_.load() == std::this_thread::get_id()) {
        throw std::runtime_error("the phone " + phone.label_ +
                                 " is busy with an operation on this thread "
                                 "(a progress callback may not use the phone)");
    }
    for (;;) {
        bool locked = false;
        {
            const GilGate::Released release;
            if (abortOwner && phone.owner_.load() != std::thread::id()) {
                phone.AbortOperation();
            }
            locked = phone.lock_.try_lock_for(InterruptibleCall::kSlice);
        }
        if (locked) {
            break;
        }
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
    }
    phone.owner_ = std::this_thread::get_id();
}

PhoneHandle::Guard::~Guard() {
    phone_.owner_ = std::thread::id();
    phone_.lock_.unlock();
}

void PhoneHandle::CheckOpen() {
    if (!phone_ || closing_) {
        throw py::value_error("the phone " + label_ + " is closed");
    }
}

void PhoneHandle::Reopen(PhoneLink& phone) {
    while (std::chrono::steady_clock::now() < quietAt_) {
        InterruptibleCall::Pause(InterruptibleCall::kSlice);
    }
    int32_t opened = kPhoneOk;
    InterruptibleCall::Run([&] { opened = phone.Open(initCommands_); }, [&] { phone.ClosePortNow(); });
    if (opened != kPhoneOk) {
        Raise(PhoneFailure::Open(phone.Port(), label_));
    }
    reopen_ = false;
}

int32_t PhoneHandle::Call(const std::function<int32_t(PhoneLink&)>& work) {
    CheckOpen();
    PhoneLink& phone = *phone_;
    if (reopen_) {
        Reopen(phone);
    }
    int32_t result = kPhoneOk;
    InterruptibleCall::Run([&] { result = work(phone); },
                           [&] {
                               phone.ClosePortNow();
                               reopen_ = true;
                           });
    if (closing_) {
        throw py::value_error("the phone " + label_ + " was closed during the operation");
    }
    return result;
}

void PhoneHandle::Fail(std::string_view operation, int32_t result) {
    Raise(PhoneFailure::Operation(*phone_, label_, operation, result));
}

std::string PhoneHandle::Model() {
    const Guard guard = Lock();
    std::string model;
    if (const int32_t result = Call([&](PhoneLink& phone) { return phone.GetModel(model); });
        result != kPhoneOk) {
        Fail("model", result);
    }
    return model;
}

DisplayList PhoneHandle::Displays() {
    const Guard guard = Lock();
    return ListDisplays();
}

DisplayList PhoneHandle::ListDisplays() {
    DisplayList displays;
    const int32_t result = Call([&](PhoneLink& phone) { return phone.GetDisplayList(displays); });
    if (result != kPhoneOk) {
        Fail("reading the display list", result);
    }
    return displays;
}

DisplayInfo PhoneHandle::DisplayAt(std::size_t position) {
    const DisplayList displays = ListDisplays();
    if (position >= displays.size()) {
        throw py::index_error("the phone has no display " + std::to_string(position) + " (it describes " +
                              std::to_string(displays.size()) + ", numbered from 0)");
    }
    return displays[position];
}

std::shared_ptr<Screen> PhoneHandle::Grab(std::size_t position, const py::object& progress) {
    const Guard guard = Lock();
    const DisplayInfo display = DisplayAt(position);
    int32_t result = Call([&](PhoneLink& phone) { return phone.StartScreenRead(display); });
    if (result != kPhoneOk) {
        Fail("starting the read", result);
    }
    ++generation_;
    FollowRead(display, progress);

    const int64_t lineLength = std::max<int64_t>(display.lineLength, 1);
    const int64_t received = std::max(phone_->GetReadProgress(), 0);
    if (received < static_cast<int64_t>(display.height) * display.lineLength) {
        Raise(PhoneFailure::ShortRead(*phone_, label_, phone_->GetReadFailure(), received / lineLength,
                                      display.height));
    }
    const DisplayBitmap* picture = nullptr;
    {
        const GilGate::Released release;
        if (phone_->GetReadImage(picture) != kPhoneOk) {
            picture = nullptr;
        }
    }
    if (picture == nullptr) {
        Raise({ErrorKind::Picture, label_ + ": the picture could not be made from the data received"});
    }
    return std::make_shared<Screen>(*picture, weak_from_this(), generation_);
}

std::chrono::steady_clock::time_point
PhoneHandle::EndOfPicture(const DisplayInfo& display, std::chrono::steady_clock::time_point started) const {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    const double expected = static_cast<double>(display.height) * display.lineLength;
    const double received = std::max(phone_->GetReadProgress(), 0);
    // Ten bits a character on the line: eight data bits, a start and a stop bit.
    double perSecond = std::max(baud_, 1) / 10.0;
    if (received > 0) {
        perSecond = received / std::max(duration<double>(now - started).count(), 1e-3);
    }
    const double rest = (expected - received) / perSecond;
    // A quarter more, and the slack of one read wait, for a pace that was not steady.
    const auto margin = phone_->Port().settings().GetTiming().readWait;
    return now + duration_cast<steady_clock::duration>(duration<double>(std::max(rest, 0.0) * 1.25)) + margin;
}

void PhoneHandle::FollowRead(const DisplayInfo& display, const py::object& progress) {
    PhoneLink& phone = *phone_;
    const auto started = std::chrono::steady_clock::now();
    const int64_t lineLength = std::max<int64_t>(display.lineLength, 1);
    int64_t reported = -1;
    try {
        for (;;) {
            bool running = false;
            int64_t lines = 0;
            {
                const GilGate::Released release;
                running = phone.IsReadRunning();
                lines = std::max(phone.GetReadProgress(), 0) / lineLength;
            }
            if (!progress.is_none() && lines != reported) {
                reported = lines;
                progress(lines, static_cast<int64_t>(display.height));
            }
            if (!running) {
                return;
            }
            InterruptibleCall::Pause(kReadPoll);
        }
    } catch (...) {
        // Closing the port makes the transfer fail at once; the worker then ends by itself.
        const GilGate::Released release;
        quietAt_ = EndOfPicture(display, started);
        phone.ClosePortNow();
        reopen_ = true;
        while (phone.IsReadRunning()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        throw;
    }
}

uint32_t PhoneHandle::Checksum(const DisplayRegion& region, int32_t displayNumber) {
    const Guard guard = Lock();
    int32_t checksum = 0;
    const int32_t result =
        Call([&](PhoneLink& phone) { return phone.GetDisplayChecksum(region, displayNumber, checksum); });
    if (result != kPhoneOk) {
        Fail("checksum", result);
    }
    return static_cast<uint32_t>(checksum); // the sum wraps at 32 bits; compared unsigned
}

void PhoneHandle::Press(const std::string& keys, std::optional<int32_t> pressMs,
                        std::optional<int32_t> pauseMs) {
    if (pressMs.has_value() != pauseMs.has_value()) {
        throw py::value_error("press_ms and pause_ms go together: give both or neither");
    }
    if ((pressMs && *pressMs < 0) || (pauseMs && *pauseMs < 0)) {
        throw py::value_error("press_ms and pause_ms are milliseconds, 0 or more");
    }
    const Guard guard = Lock();
    const int32_t result = Call([&](PhoneLink& phone) {
        return pressMs ? phone.PressKeyTimed(keys, *pressMs, *pauseMs) : phone.PressKey(keys);
    });
    if (result != kPhoneOk) {
        Fail("pressing keys", result);
    }
}

GuiObjectMap PhoneHandle::GuiObject() {
    const Guard guard = Lock();
    GuiObjectMap objects;
    const int32_t result = Call([&](PhoneLink& phone) { return phone.GetGuiObjects(objects); });
    if (result != kPhoneOk) {
        Fail("reading the GUI object", result);
    }
    return objects;
}

std::string PhoneHandle::Send(const std::string& text) {
    const Guard guard = Lock();
    std::string answer;
    const int32_t result = Call([&](PhoneLink& phone) { return phone.SendCommand(text, answer); });
    if (result != kPhoneOk) {
        Fail("send", result);
    }
    return answer;
}

void PhoneHandle::StartKeyEvents(const std::shared_ptr<KeyEventQueue>& queue) {
    const Guard guard = Lock();
    if (events_) {
        throw py::value_error("key events of " + label_ +
                              " are already being listened to; one key_events() "
                              "block at a time");
    }
    const int32_t result = Call([&](PhoneLink& phone) { return phone.StartKeyEvents(queue.get()); });
    if (result != kPhoneOk) {
        Fail("switching key event reporting on", result);
    }
    const std::lock_guard<std::mutex> events(abortLock_);
    events_ = queue;
}

void PhoneHandle::StopKeyEvents(const std::shared_ptr<KeyEventQueue>& queue) {
    const Guard guard = Lock();
    if (!phone_ || events_ != queue) {
        return;
    }
    // An interruption closes the port, which ends the switch-off at once; the call is waited for
    // all the same, so the queue is known unused before it may go.
    PhoneLink& phone = *phone_;
    int32_t result = kPhoneOk;
    const auto forget = [this] {
        const std::lock_guard<std::mutex> events(abortLock_);
        events_.reset();
    };
    try {
        InterruptibleCall::Run([&] { result = phone.StopKeyEvents(0); },
                               [&] {
                                   phone.ClosePortNow();
                                   reopen_ = true;
                               });
    } catch (...) {
        forget();
        throw;
    }
    forget();
    // A lost port has been reported through the events already, and a close ends the switch-off
    // under it on purpose; a phone that did not confirm the switch-off is reported here.
    if (result != kPhoneOk && !queue->lostReason() && !reopen_ && !closing_) {
        Fail("switching key event reporting off", result);
    }
}

uint32_t PhoneHandle::RegionChecksum(uint64_t generation, const DisplayRegion& region) {
    const Guard guard = Lock();
    if (!phone_) {
        Raise({ErrorKind::Picture,
               "the phone " + label_ + " is closed: the picture text behind this screen is gone"});
    }
    if (generation != generation_) {
        Raise({ErrorKind::Picture, "a later grab replaced the picture text behind this screen: take "
                                   "region_checksum() before the next grab"});
    }
    int32_t checksum = 0;
    int32_t result = kPhoneOk;
    {
        const GilGate::Released release;
        result = phone_->GetRegionChecksum(region, checksum);
    }
    if (result != kPhoneOk) {
        Fail("the region checksum", result);
    }
    return static_cast<uint32_t>(checksum);
}

// Live view.

void PhoneHandle::StartLive(std::size_t position, std::optional<double> fullEverySeconds,
                            const std::shared_ptr<LiveUpdateQueue>& queue) {
    const Guard guard = Lock();
    const DisplayInfo display = DisplayAt(position);
    LiveViewOptions options;
    if (fullEverySeconds) {
        options.fullReadEveryMs = static_cast<int32_t>(*fullEverySeconds * 1000);
    }
    const int32_t result = Call([&](PhoneLink& phone) {
        phone.SetLiveUpdateHandler(queue->Handler());
        return phone.StartLiveView(display, options);
    });
    if (result != kPhoneOk) {
        Fail("starting the live view", result);
    }
}

void PhoneHandle::StopLive() {
    const Guard guard = Lock();
    if (phone_) {
        const py::gil_scoped_release release;
        phone_->StopLiveView();
        phone_->SetLiveUpdateHandler(nullptr);
    }
}

std::shared_ptr<Screen> PhoneHandle::LivePicture() {
    const Guard guard = Lock();
    CheckOpen();
    const DisplayBitmap* picture = nullptr;
    std::vector<RowSpan> changed;
    {
        const py::gil_scoped_release release;
        if (phone_->GetLiveImage(picture, changed) != kPhoneOk) {
            picture = nullptr;
        }
    }
    if (picture == nullptr) {
        Raise({ErrorKind::Picture, label_ + ": the live view has no picture yet"});
    }
    // A generation no grab has: the picture text behind it is the live view's, not a grab's.
    return std::make_shared<Screen>(*picture, weak_from_this(), std::numeric_limits<uint64_t>::max());
}

std::optional<std::string> PhoneHandle::LiveFailure() {
    const Guard guard = Lock();
    if (!phone_ || phone_->IsLiveViewRunning()) {
        return std::nullopt;
    }
    std::string failure = phone_->GetLiveFailure();
    return failure.empty() ? std::nullopt : std::optional<std::string>(std::move(failure));
}

} // namespace panelgrab::python
