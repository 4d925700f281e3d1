#include "server/phone_host.h"

#include <algorithm>
#include <optional>

#include <nlohmann/json.hpp>

#include "common/image/zlib_png_encoder.h"

namespace panelgrab::server {

namespace {

// How long a screenshot waits for a live view that has just begun to settle, and in which steps.
constexpr std::chrono::seconds kFirstSettledWait{20};
constexpr int32_t kSettledPollMs = 100;
// How often Stop repeats its abort while the worker is still on its way out.
constexpr std::chrono::milliseconds kStopAbortEvery{20};

bool RowEquals(const Picture& a, const Picture& b, int32_t y) {
    return std::equal(a.Row(y), a.Row(y) + std::size_t{3} * static_cast<std::size_t>(a.width()), b.Row(y));
}

// The span from the first to the last of the `arrived` rows in which `now` differs from `before`
// (every row when there is none or its size differs); none when no row differs.
std::optional<RowSpan> ChangedSpan(const Picture* before, const Picture& now,
                                   const std::vector<RowSpan>& arrived) {
    if (before == nullptr || before->width() != now.width() || before->height() != now.height()) {
        return now.height() > 0 ? std::optional<RowSpan>(RowSpan{0, now.height() - 1}) : std::nullopt;
    }
    std::optional<RowSpan> changed;
    for (const RowSpan& rows : arrived) {
        for (int32_t y = std::max(rows.first, 0); y <= std::min<int32_t>(rows.last, now.height() - 1); ++y) {
            if (!RowEquals(*before, now, y)) {
                changed = changed ? RowSpan{changed->first, y} : RowSpan{y, y};
            }
        }
    }
    return changed;
}

// A failure the session gave, as the reply the API turns into its status and JSON error.
HostReply FailedReply(const Failure& failure) {
    HostReply::Kind kind = HostReply::Kind::Failed;
    if (failure.kind == FailureKind::BadInput) {
        kind = failure.input == UserInput::Display ? HostReply::Kind::NoSuchDisplay
                                                   : HostReply::Kind::BadRequest;
    }
    return {kind, FailureMessage(failure), {}};
}

// True for the failures that say the line to the phone is lost, not that the phone refused.
bool LostTheLine(FailureKind kind) {
    switch (kind) {
    case FailureKind::NoSuchDevice:
    case FailureKind::Permission:
    case FailureKind::PortBusy:
    case FailureKind::PortFailed:
    case FailureKind::NotResponding:
    case FailureKind::PhoneGone:
        return true;
    default:
        return false;
    }
}

HostReply NotReady() {
    return {HostReply::Kind::NotReady, "the phone is not ready", {}};
}

nlohmann::json KeyMessage(const std::string& key, bool pressed) {
    return {{"type", "key"}, {"key", key}, {"pressed", pressed}};
}

} // namespace

const char* HostStateName(HostState state) {
    switch (state) {
    case HostState::Connecting:
        return "connecting";
    case HostState::Ready:
        return "ready";
    case HostState::Gone:
        return "gone";
    }
    return "gone";
}

PhoneHost::PhoneHost(PhoneConfig entry, Timing timing) : config_(std::move(entry)), timing_(timing) {
    status_.portLabel = config_.port;
    SessionOptions options;
    options.port = config_.port;
    options.baud = config_.baud;
    options.wording = kServerWording;
    options.fastTiming = timing_.fastPort;
    session_ = std::make_unique<Session>(std::move(options));
}

PhoneHost::~PhoneHost() {
    Stop();
}

void PhoneHost::Start() {
    worker_ = std::thread([this] { Loop(); });
}

void PhoneHost::Stop() {
    {
        std::lock_guard<std::mutex> guard(jobLock_);
        stopping_ = true;
    }
    wake_.notify_all();
    // A grab, a key press or an open in hand ends now instead of running to its end. The abort is
    // repeated until the worker has left: one that comes just before the worker reopens the port
    // is taken back by the reopen. (A second Stop finds the session gone.)
    while (session_ && worker_.joinable() && !workerDone_) {
        session_->Abort();
        std::this_thread::sleep_for(kStopAbortEvery);
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    session_.reset(); // the thread ended its handles; the simulated phone goes with the session
}

HostStatus PhoneHost::Status() const {
    std::lock_guard<std::mutex> guard(statusLock_);
    return status_;
}

void PhoneHost::PressKeys(std::string keys, int pressMs, int pauseMs, Done done) {
    Post(
        [this, keys = std::move(keys), pressMs, pauseMs, done] {
            if (!connected_) {
                done(NotReady());
                return;
            }
            const std::optional<KeyTiming> timing =
                pressMs > 0 ? std::optional<KeyTiming>(KeyTiming{pressMs, pauseMs}) : std::nullopt;
            const Result<void> pressed = session_->PressKeys(keys, timing);
            done(pressed ? HostReply{} : FailedReply(pressed.failure()));
        },
        done);
}

void PhoneHost::Grab(int index, bool exact, Done done) {
    Post([this, index, exact, done] { done(GrabNow(index, exact)); }, done);
}

bool PhoneHost::StartRecording(int scale) {
    {
        std::lock_guard<std::mutex> guard(recordingLock_);
        if (recording_ && recording_->Running()) {
            return false;
        }
        recording_ = std::make_unique<PhoneRecording>(scale, timing_.recordingBounds, Clock::now());
    }
    std::lock_guard<std::mutex> guard(jobLock_);
    wake_.notify_all(); // the live view starts now
    return true;
}

std::optional<RecordingStatus> PhoneHost::Recording() const {
    std::lock_guard<std::mutex> guard(recordingLock_);
    if (!recording_) {
        return std::nullopt;
    }
    return recording_->Status(Clock::now());
}

void PhoneHost::StopRecording(Done done) {
    std::unique_ptr<PhoneRecording> taken;
    {
        std::lock_guard<std::mutex> guard(recordingLock_);
        taken = std::move(recording_);
    }
    if (!taken) {
        done({HostReply::Kind::NothingRecorded, "this phone has no recording", {}});
        return;
    }
    HostReply reply;
    std::string error;
    if (!taken->Encode(Clock::now(), reply.png, error)) {
        reply = {HostReply::Kind::NothingRecorded, "the recording holds no picture: " + error, {}};
    }
    done(std::move(reply));
}

bool PhoneHost::RecordingRuns() const {
    std::lock_guard<std::mutex> guard(recordingLock_);
    return recording_ && recording_->Running();
}

// The live view's settled picture, when it is a new one, goes into a running recording.
void PhoneHost::RecordSnapshot() {
    std::lock_guard<std::mutex> guard(recordingLock_);
    if (!recording_ || !recording_->Running()) {
        return;
    }
    const Clock::time_point now = Clock::now();
    recording_->CheckTime(now);
    if (const std::shared_ptr<const Picture> settled = live_ ? live_->Settled() : nullptr) {
        recording_->Add(*settled, now); // the same picture again adds nothing
    }
}

void PhoneHost::EndRecording(const std::string& reason) {
    std::lock_guard<std::mutex> guard(recordingLock_);
    if (recording_) {
        recording_->End(Clock::now(), reason);
    }
}

bool PhoneHost::Post(Job job, const Done& done) {
    {
        std::lock_guard<std::mutex> guard(jobLock_);
        if (!stopping_ && jobs_.size() < kMaxQueuedJobs) {
            jobs_.push_back(std::move(job));
            wake_.notify_all();
            return true;
        }
    }
    done({HostReply::Kind::Busy, "the phone has too many requests waiting", {}});
    return false;
}

void PhoneHost::Loop() {
    SetStatus(HostState::Connecting, {});
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(jobLock_);
            if (stopping_) {
                break;
            }
        }
        if (!connected_ && Clock::now() >= nextConnect_ && !Connect()) {
            nextConnect_ = Clock::now() + timing_.reconnectEvery;
        }
        if (connected_) {
            KeepKeyEventsMatched(); // before the jobs: a listener's presses are reported to it
        }
        RunJobs();
        if (connected_) {
            KeepLiveViewMatched();
        }
        if (connected_) {
            PublishLiveRows();
        }
        if (connected_) {
            RecordSnapshot();
        }
        if (connected_) {
            CheckHealth();
        }
        WaitForWork(live_ ? timing_.liveEndCheckEvery : std::chrono::milliseconds(100));
    }
    if (connected_) {
        Lose("the server stopped");
    }
    RunJobs(); // the last ones are told the phone is not ready
    workerDone_ = true;
}

void PhoneHost::RunJobs() {
    for (;;) {
        Job job;
        {
            std::lock_guard<std::mutex> guard(jobLock_);
            if (jobs_.empty()) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

void PhoneHost::WaitForWork(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(jobLock_);
    wake_.wait_for(guard, limit, [this] { return stopping_ || !jobs_.empty() || liveUpdated_; });
}

bool PhoneHost::Connect() {
    // Until it first opens, each try is a whole open (a new phone object, or simulated phone).
    const Result<void> opened = opened_ ? session_->Reopen() : session_->Open();
    {
        std::lock_guard<std::mutex> guard(statusLock_);
        status_.portLabel = session_->PortLabel();
    }
    if (!opened) {
        SetStatus(HostState::Gone, FailureMessage(opened.failure()));
        return false;
    }
    opened_ = true;
    // Asked once a connection: the status shows them, and the session keeps the list for grabs.
    const Result<std::string> model = session_->Model();
    const Result<DisplayList> displays = session_->Displays();
    keyEventsLost_ = false;
    nextKeyEventsTry_ = {};
    connected_ = true;
    {
        std::lock_guard<std::mutex> guard(statusLock_);
        status_.model = model ? *model : std::string();
        status_.displays = displays ? *displays : DisplayList();
    }
    nextHealthCheck_ = Clock::now() + timing_.healthCheckEvery;
    SetStatus(HostState::Ready, {});
    return true;
}

void PhoneHost::Lose(const std::string& reason) {
    session_->Abort(); // whatever still waits on the line ends at once; the handles end quickly
    live_.reset();
    keys_.reset();
    connected_ = false;
    nextConnect_ = Clock::now() + timing_.reconnectEvery;
    EndRecording("the phone went away: " + reason);
    SetStatus(HostState::Gone, reason);
}

void PhoneHost::KeepLiveViewMatched() {
    const bool wanted = feed_.Watchers() > 0 || RecordingRuns();
    if (wanted == (live_ != nullptr)) {
        return;
    }
    if (!wanted) {
        live_.reset();
        return;
    }
    const HostStatus status = Status();
    if (status.displays.empty()) {
        return;
    }
    Result<std::unique_ptr<LiveView>> started = session_->StartLiveView(
        status.displays.front(), LiveViewOptions{}, [this](const LiveUpdate&) { NoteLiveUpdate(); });
    if (started) {
        live_ = std::move(*started);
    }
}

void PhoneHost::KeepKeyEventsMatched() {
    const Clock::time_point now = Clock::now();
    if (feed_.Listeners() > 0) {
        lastListenerSeen_ = now;
    }
    // The reports stay on a moment after the last listener left: a page moving from the wall to a
    // phone's own view closes one connection and opens the next.
    const bool wanted = now - lastListenerSeen_ < timing_.keyEventsLinger;
    if (wanted == (keys_ != nullptr) || (wanted && now < nextKeyEventsTry_)) {
        return;
    }
    if (!wanted) {
        keys_.reset();
        return;
    }
    // A phone without key reports still serves the rest; it is asked again now and then.
    Result<std::unique_ptr<KeySubscription>> subscribed = session_->ListenToKeys(*this);
    if (subscribed) {
        keys_ = std::move(*subscribed);
    } else {
        nextKeyEventsTry_ = now + timing_.reconnectEvery;
    }
}

// On the live view's worker: as little as can be, since the next refresh waits for it.
void PhoneHost::NoteLiveUpdate() {
    {
        std::lock_guard<std::mutex> guard(jobLock_);
        liveUpdated_ = true;
    }
    wake_.notify_all();
}

void PhoneHost::PublishLiveRows() {
    {
        std::lock_guard<std::mutex> guard(jobLock_);
        liveUpdated_ = false;
    }
    if (!live_) {
        return;
    }
    const bool running = live_->Running(); // before the drain: no last rows are missed
    // Viewers see rows as soon as they arrive, as the window does; screenshots take the live view's
    // settled picture (GrabNow). The rows sent are those that differ from what viewers have.
    std::vector<RowSpan> arrived;
    std::shared_ptr<const Picture> picture = live_->Current(arrived);
    if (picture && !picture->empty() && !arrived.empty()) {
        if (const std::optional<RowSpan> changed = ChangedSpan(feed_.Frame().get(), *picture, arrived)) {
            feed_.PublishFrame(std::move(picture), *changed);
        }
    }
    if (!running) {
        Lose(FailureMessage(session_->LiveViewEnded(*live_)));
    }
}

void PhoneHost::CheckHealth() {
    if (keyEventsLost_.exchange(false)) {
        std::string reason;
        {
            std::lock_guard<std::mutex> guard(keyLostLock_);
            reason = keyLostReason_;
        }
        Lose(FailureMessage(KeyEventsLost(reason, session_->PortLabel())));
        return;
    }
    if (live_ || Clock::now() < nextHealthCheck_) {
        return;
    }
    nextHealthCheck_ = Clock::now() + timing_.healthCheckEvery;
    if (const Result<std::string> model = session_->Model(); !model && LostTheLine(model.failure().kind)) {
        Lose(FailureMessage(model.failure()));
    }
}

void PhoneHost::SetStatus(HostState state, const std::string& reason) {
    nlohmann::json message;
    {
        std::lock_guard<std::mutex> guard(statusLock_);
        if (status_.state == state && status_.reason == reason) {
            return;
        }
        status_.state = state;
        status_.reason = reason;
        message = {
            {"type", "state"}, {"state", HostStateName(state)}, {"reason", reason}, {"model", status_.model}};
    }
    feed_.PublishMessage(message.dump());
}

HostReply PhoneHost::GrabNow(int index, bool exact) {
    if (!connected_) {
        return NotReady();
    }
    const Result<DisplayInfo> display = session_->DisplayAt(static_cast<std::size_t>(index));
    if (!display) {
        return FailedReply(display.failure());
    }
    std::shared_ptr<const Picture> picture = index == 0 && !exact ? SettledLivePicture() : nullptr;
    if (!picture) {
        live_.reset(); // started again by the loop while someone watches
        const Result<Grabbed> grabbed = session_->Grab(*display, {});
        if (!grabbed) {
            return FailedReply(grabbed.failure());
        }
        picture = grabbed->picture;
    }
    HostReply reply;
    std::string error;
    if (!EncodePngWithZlib(*picture, reply.png, error)) {
        return {HostReply::Kind::Failed, "the picture could not be encoded: " + error, {}};
    }
    return reply;
}

// The live view's settled picture: never one a refresh is still mending. A live view that has just
// begun has none until its first read of every line ends; that is waited for, since stopping it for
// a read of our own would only start that read again. A live view that has ended (the phone went
// away) gives none: its last picture is no longer what the phone shows, and a grab of our own says
// why.
std::shared_ptr<const Picture> PhoneHost::SettledLivePicture() {
    if (!live_) {
        return nullptr;
    }
    const auto giveUp = Clock::now() + kFirstSettledWait;
    std::shared_ptr<const Picture> settled;
    while (!(settled = live_->Settled()) && live_->Running() && Clock::now() < giveUp) {
        live_->WaitForRefresh(kSettledPollMs);
    }
    return live_->Running() ? settled : nullptr;
}

void PhoneHost::OnKeyPressed(std::string key) {
    feed_.PublishMessage(KeyMessage(key, true).dump());
}

void PhoneHost::OnKeyReleased(std::string key) {
    feed_.PublishMessage(KeyMessage(key, false).dump());
}

void PhoneHost::OnKeyEventsLost(const std::string& reason) {
    {
        std::lock_guard<std::mutex> guard(keyLostLock_);
        keyLostReason_ = reason;
    }
    keyEventsLost_ = true;
}

} // namespace panelgrab::server
