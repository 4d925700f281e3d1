#include "python/phone_handle.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "python/gil_gate.h"
#include "python/interruptible_call.h"
#include "python/python_errors.h"
#include "python/screen.h"

namespace py = pybind11;

namespace panelgrab::python {

namespace {

// How often a grab looks at the read's progress and at Ctrl-C.
constexpr std::chrono::milliseconds kReadPoll{25};

// Raises what kept the session from opening: the caller's input as ValueError or OSError, the rest
// by the failure's kind.
[[noreturn]] void RaiseOpenFailure(const Failure& failure, const std::string& port) {
    if (failure.input == UserInput::Port) {
        throw py::value_error(port + ": " + failure.text);
    }
    if (failure.input == UserInput::RecordSession) {
        PyErr_SetString(PyExc_OSError, ("record_session: " + failure.text).c_str());
        throw py::error_already_set();
    }
    RaiseFailure(failure, true);
}

} // namespace

std::shared_ptr<PhoneHandle> PhoneHandle::Open(SessionOptions options, const py::object& trace) {
    std::shared_ptr<PhoneHandle> handle(new PhoneHandle());
    handle->label_ = options.port;
    if (!trace.is_none()) {
        handle->trace_ = std::make_unique<TraceBridge>(trace);
    }
    const std::string port = options.port;
    options.trace = handle->trace_.get();
    handle->session_ = std::make_unique<Session>(std::move(options));
    Session& session = *handle->session_;
    Result<void> opened;
    InterruptibleCall::Run([&] { opened = session.Open(); }, [&] { session.Abort(); });
    handle->label_ = session.PortLabel();
    handle->baud_ = session.BaudRate();
    if (!opened) {
        RaiseOpenFailure(opened.failure(), port); // the handle closes what it opened
    }
    return handle;
}

PhoneHandle::~PhoneHandle() {
    if (PyGILState_Check() != 0) {
        {
            const GilGate::Released release;
            Release();
        }
        trace_.reset();
        return;
    }
    Release();
    const GilGate::Acquired acquire;
    if (!acquire.held()) {
        (void)trace_.release(); // its callable may not be touched once the interpreter ends
        return;
    }
    trace_.reset();
}

void PhoneHandle::Release() {
    std::unique_ptr<Session> session;
    std::shared_ptr<KeyEventQueue> events;
    {
        const std::lock_guard<std::mutex> guard(abortLock_);
        session = std::move(session_);
        events = std::move(events_);
    }
    if (events) {
        events->End();
    }
    if (keys_ && session) {
        // A phone that does not confirm the switch-off within one read wait is not waited for.
        keys_->StopWithin(session->ReadWait());
        keys_.reset();
    }
    live_.reset();
    session.reset(); // joins the workers before the simulator that serves their port goes
}

void PhoneHandle::AbortOperation() {
    const std::lock_guard<std::mutex> guard(abortLock_);
    if (session_) {
        session_->Abort();
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
    trace_.reset();
}

bool PhoneHandle::closed() {
    const Guard guard = Lock();
    return session_ == nullptr;
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
    if (!session_ || closing_) {
        throw py::value_error("the phone " + label_ + " is closed");
    }
}

void PhoneHandle::Reopen(Session& session) {
    Result<void> opened;
    InterruptibleCall::Run([&] { opened = session.Reopen(); }, [&] { session.Abort(); });
    if (closing_) {
        throw py::value_error("the phone " + label_ + " was closed during the operation");
    }
    if (!opened) {
        RaiseFailure(opened.failure(), true);
    }
}

void PhoneHandle::Call(const std::function<void(Session&)>& work) {
    CheckOpen();
    Session& session = *session_;
    if (session.NeedsReopen()) {
        Reopen(session);
    }
    InterruptibleCall::Run([&] { work(session); }, [&] { session.Abort(); });
    if (closing_) {
        throw py::value_error("the phone " + label_ + " was closed during the operation");
    }
}

template <typename T> T PhoneHandle::ValueOf(const std::function<Result<T>(Session&)>& call) {
    std::optional<Result<T>> result;
    Call([&](Session& session) { result.emplace(call(session)); });
    if (!*result) {
        RaiseFailure(result->failure());
    }
    return std::move(**result);
}

std::string PhoneHandle::Model() {
    const Guard guard = Lock();
    return ValueOf<std::string>([&](Session& session) { return session.Model(); });
}

DisplayList PhoneHandle::Displays() {
    const Guard guard = Lock();
    return ValueOf<DisplayList>([&](Session& session) { return session.Displays(); });
}

DisplayInfo PhoneHandle::DisplayAt(std::size_t position) {
    std::optional<Result<DisplayInfo>> display;
    Call([&](Session& session) { display.emplace(session.DisplayAt(position)); });
    if (!*display && display->failure().input == UserInput::Display) {
        throw py::index_error(display->failure().text);
    }
    if (!*display) {
        RaiseFailure(display->failure());
    }
    return **display;
}

std::shared_ptr<Screen> PhoneHandle::Grab(std::size_t position, const py::object& progress) {
    const Guard guard = Lock();
    const DisplayInfo display = DisplayAt(position);
    CheckOpen();
    Session& session = *session_;
    if (session.NeedsReopen()) {
        Reopen(session);
    }
    ++generation_;
    int64_t reported = -1;
    // On the grabbing thread, with the GIL released around it: an exception (Ctrl-C, or one raised
    // by `progress`) stops the read and goes on; so does the interpreter's end.
    const auto follow = [&](const GrabProgress& state) {
        const GilGate::Acquired gil;
        if (!gil.held()) {
            return false;
        }
        if (!progress.is_none() && state.lines != reported) {
            reported = state.lines;
            progress(state.lines, state.totalLines);
        }
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
        return true;
    };
    std::optional<Result<Grabbed>> grabbed;
    {
        const GilGate::Released release;
        grabbed.emplace(session.Grab(display, {GrabMode::Background, follow, kReadPoll}));
    }
    if (closing_) {
        throw py::value_error("the phone " + label_ + " was closed during the operation");
    }
    if (!*grabbed) {
        RaiseFailure(grabbed->failure());
    }
    return std::make_shared<Screen>(*(*grabbed)->picture, weak_from_this(), generation_);
}

uint32_t PhoneHandle::Checksum(const DisplayRegion& region, int32_t displayNumber) {
    const Guard guard = Lock();
    return ValueOf<uint32_t>([&](Session& session) { return session.Checksum(region, displayNumber); });
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
    std::optional<KeyTiming> timing;
    if (pressMs) {
        timing = KeyTiming{*pressMs, *pauseMs};
    }
    std::optional<Result<void>> pressed;
    Call([&](Session& session) { pressed.emplace(session.PressKeys(keys, timing)); });
    if (!*pressed) {
        RaiseFailure(pressed->failure());
    }
}

GuiObjectMap PhoneHandle::GuiObject() {
    const Guard guard = Lock();
    return ValueOf<GuiObjectMap>([&](Session& session) { return session.GuiObjects(); });
}

std::string PhoneHandle::Send(const std::string& text) {
    const Guard guard = Lock();
    Sent sent;
    Call([&](Session& session) { sent = session.Send(text); });
    if (sent.failure) {
        RaiseFailure(*sent.failure);
    }
    return sent.answer;
}

void PhoneHandle::StartKeyEvents(const std::shared_ptr<KeyEventQueue>& queue) {
    const Guard guard = Lock();
    if (events_) {
        throw py::value_error("key events of " + label_ +
                              " are already being listened to; one key_events() "
                              "block at a time");
    }
    std::optional<Result<std::unique_ptr<KeySubscription>>> keys;
    Call([&](Session& session) { keys.emplace(session.ListenToKeys(*queue)); });
    if (!*keys) {
        RaiseFailure(keys->failure());
    }
    keys_ = std::move(**keys);
    const std::lock_guard<std::mutex> events(abortLock_);
    events_ = queue;
}

void PhoneHandle::StopKeyEvents(const std::shared_ptr<KeyEventQueue>& queue) {
    const Guard guard = Lock();
    if (!session_ || events_ != queue) {
        return;
    }
    // An interruption closes the port, which ends the switch-off at once; the call is waited for
    // all the same, so the queue is known unused before it may go.
    Session& session = *session_;
    Result<void> stopped;
    const auto forget = [this] {
        keys_.reset();
        const std::lock_guard<std::mutex> events(abortLock_);
        events_.reset();
    };
    try {
        InterruptibleCall::Run([&] { stopped = keys_->Stop(); }, [&] { session.Abort(); });
    } catch (...) {
        forget();
        throw;
    }
    forget();
    // A lost port has been reported through the events already, and a close ends the switch-off
    // under it on purpose; a phone that did not confirm the switch-off is reported here.
    if (!stopped && !queue->lostReason() && !session.NeedsReopen() && !closing_) {
        RaiseFailure(stopped.failure());
    }
}

uint32_t PhoneHandle::RegionChecksum(uint64_t generation, const DisplayRegion& region) {
    const Guard guard = Lock();
    if (!session_) {
        Raise({ErrorKind::Picture,
               "the phone " + label_ + " is closed: the picture text behind this screen is gone"});
    }
    if (generation != generation_) {
        Raise({ErrorKind::Picture, "a later grab replaced the picture text behind this screen: take "
                                   "region_checksum() before the next grab"});
    }
    std::optional<Result<uint32_t>> checksum;
    {
        const GilGate::Released release;
        checksum.emplace(session_->RegionChecksum(region));
    }
    if (!*checksum) {
        RaiseFailure(checksum->failure());
    }
    return **checksum;
}

// Live view.

void PhoneHandle::StartLive(std::size_t position, std::optional<double> fullEverySeconds,
                            const std::shared_ptr<LiveUpdateQueue>& queue) {
    const Guard guard = Lock();
    if (live_) {
        // Another block's live view would lose its pictures to this one, and never end.
        throw py::value_error("a live view of this phone already runs: leave its with block first");
    }
    const DisplayInfo display = DisplayAt(position);
    LiveViewOptions options;
    if (fullEverySeconds) {
        options.fullReadEveryMs = static_cast<int32_t>(*fullEverySeconds * 1000);
    }
    std::optional<Result<std::unique_ptr<LiveView>>> live;
    Call([&](Session& session) {
        live_.reset();
        live.emplace(session.StartLiveView(display, options, queue->Handler()));
    });
    if (!*live) {
        RaiseFailure(live->failure());
    }
    live_ = std::move(**live);
}

void PhoneHandle::StopLive() {
    const Guard guard = Lock();
    const GilGate::Released release;
    live_.reset();
}

std::shared_ptr<Screen> PhoneHandle::LivePicture() {
    const Guard guard = Lock();
    CheckOpen();
    std::shared_ptr<const Picture> picture;
    if (live_) {
        const GilGate::Released release;
        picture = live_->Current();
    }
    if (picture == nullptr) {
        Raise({ErrorKind::Picture, label_ + ": the live view has no picture yet"});
    }
    // A generation no grab has: the picture text behind it is the live view's, not a grab's.
    return std::make_shared<Screen>(*picture, weak_from_this(), std::numeric_limits<uint64_t>::max());
}

std::optional<Failure> PhoneHandle::LiveFailure() {
    const Guard guard = Lock();
    if (!session_ || !live_ || live_->Running() || live_->EndReason().empty()) {
        return std::nullopt;
    }
    return session_->LiveViewEnded(*live_);
}

} // namespace panelgrab::python
