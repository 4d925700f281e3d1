#include "server/phone_host.h"

#include <algorithm>
#include <optional>

#include <nlohmann/json.hpp>

#include "capture/display_bitmap.h"
#include "capture/picture_file.h"
#include "phone/phone_link.h"
#include "sim/sim_port_spec.h"
#include "sim/simulated_phone.h"
#include "transport/at/connection_settings.h"
#include "transport/at/port_failure.h"
#include "transport/bytes/port_timing.h"

namespace panelgrab::server {

namespace {

// How long a screenshot waits for a live view that has just begun to settle, and in which steps.
constexpr std::chrono::seconds kFirstSettledWait{20};
constexpr int32_t kSettledPollMs = 100;

bool RowEquals(const LiveFrame& a, const LiveFrame& b, int32_t y) {
    const std::size_t rowBytes = std::size_t{3} * a.width;
    const auto offset = static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * rowBytes);
    return std::equal(a.rgb.begin() + offset, a.rgb.begin() + offset + static_cast<std::ptrdiff_t>(rowBytes),
                      b.rgb.begin() + offset);
}

// The span from the first to the last of the `arrived` rows in which `now` differs from `before`
// (every row when there is none or its size differs); none when no row differs.
std::optional<RowSpan> ChangedSpan(const LiveFrame* before, const LiveFrame& now,
                                   const std::vector<RowSpan>& arrived) {
    if (before == nullptr || before->width != now.width || before->height != now.height) {
        return now.height > 0 ? std::optional<RowSpan>(RowSpan{0, now.height - 1}) : std::nullopt;
    }
    std::optional<RowSpan> changed;
    for (const RowSpan& rows : arrived) {
        for (int32_t y = std::max(rows.first, 0); y <= std::min<int32_t>(rows.last, now.height - 1); ++y) {
            if (!RowEquals(*before, now, y)) {
                changed = changed ? RowSpan{changed->first, y} : RowSpan{y, y};
            }
        }
    }
    return changed;
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
}

PhoneHost::~PhoneHost() {
    Stop();
}

bool PhoneHost::Start(std::string& error) {
    devicePath_ = config_.port;
    if (std::optional<std::vector<std::string>> args = sim::SimArgumentsOf(config_.port)) {
        sim::SimOptions options;
        if (!sim::ParseSimOptions(*args, options, error)) {
            error = config_.name + ": " + config_.port + ": " + error;
            return false;
        }
        simulator_ = std::make_unique<sim::SimulatedPhone>(options);
        if (!simulator_->Start(error)) {
            error = config_.name + ": the simulated phone could not be started: " + error;
            return false;
        }
        devicePath_ = simulator_->DevicePath();
        std::lock_guard<std::mutex> guard(statusLock_);
        status_.portLabel = config_.port + " (" + devicePath_ + ")";
    }
    worker_ = std::thread([this] { Loop(); });
    return true;
}

void PhoneHost::Stop() {
    {
        std::lock_guard<std::mutex> guard(jobLock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
    simulator_.reset(); // after the phone object, which the thread closed
}

HostStatus PhoneHost::Status() const {
    std::lock_guard<std::mutex> guard(statusLock_);
    return status_;
}

void PhoneHost::PressKeys(std::string keys, int pressMs, int pauseMs, Done done) {
    Post(
        [this, keys = std::move(keys), pressMs, pauseMs, done] {
            if (!phone_) {
                done({HostReply::Kind::NotReady, "the phone is not ready", {}});
                return;
            }
            const int32_t result =
                pressMs > 0 ? phone_->PressKeyTimed(keys, pressMs, pauseMs) : phone_->PressKey(keys);
            done(result == kPhoneOk
                     ? HostReply{}
                     : HostReply{HostReply::Kind::Failed, "pressing keys failed: " + FailureOf(result), {}});
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
    if (const std::shared_ptr<const Picture> settled = liveRunning_ ? phone_->GetLiveSnapshot() : nullptr) {
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
        if (!phone_ && Clock::now() >= nextConnect_ && !Connect()) {
            nextConnect_ = Clock::now() + timing_.reconnectEvery;
        }
        if (phone_) {
            KeepKeyEventsMatched(); // before the jobs: a listener's presses are reported to it
        }
        RunJobs();
        if (phone_) {
            KeepLiveViewMatched();
        }
        if (phone_) {
            PublishLiveRows();
        }
        if (phone_) {
            RecordSnapshot();
        }
        if (phone_) {
            CheckHealth();
        }
        WaitForWork(phone_ && liveRunning_ ? timing_.liveEndCheckEvery : std::chrono::milliseconds(100));
    }
    RunJobs(); // the last ones are told the phone is not ready
    if (phone_) {
        Lose("the server stopped");
    }
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
    ConnectionSettings settings(devicePath_, config_.baud);
    if (timing_.fastPort) {
        settings.SetTiming(PortTiming::Fast());
    }
    std::unique_ptr<PhoneLink> phone = CreatePhone(settings);
    if (!phone) {
        SetStatus(HostState::Gone, "no phone object could be made");
        return false;
    }
    if (phone->Open(false) != kPhoneOk) {
        SetStatus(HostState::Gone, DescribePortFailure(phone->Port()));
        return false;
    }
    std::string model;
    DisplayList displays;
    phone->GetModel(model);
    phone->GetDisplayList(displays);
    keyEventsLost_ = false;
    keyEventsOn_ = false;
    nextKeyEventsTry_ = {};
    phone->SetLiveUpdateHandler([this](const LiveUpdate&) { NoteLiveUpdate(); });
    phone_ = std::move(phone);
    {
        std::lock_guard<std::mutex> guard(statusLock_);
        status_.model = model;
        status_.displays = displays;
    }
    nextHealthCheck_ = Clock::now() + timing_.healthCheckEvery;
    SetStatus(HostState::Ready, {});
    return true;
}

void PhoneHost::Lose(const std::string& reason) {
    phone_->ClosePortNow(); // whatever still waits on the line ends at once
    phone_->StopLiveView();
    if (keyEventsOn_) {
        phone_->StopKeyEvents(0);
        keyEventsOn_ = false;
    }
    phone_->Close();
    phone_.reset();
    liveRunning_ = false;
    nextConnect_ = Clock::now() + timing_.reconnectEvery;
    EndRecording("the phone went away: " + reason);
    SetStatus(HostState::Gone, reason);
}

void PhoneHost::KeepLiveViewMatched() {
    const bool wanted = feed_.Watchers() > 0 || RecordingRuns();
    if (wanted == liveRunning_) {
        return;
    }
    if (!wanted) {
        phone_->StopLiveView();
        liveRunning_ = false;
        return;
    }
    const HostStatus status = Status();
    if (status.displays.empty()) {
        return;
    }
    liveRunning_ = phone_->StartLiveView(status.displays.front(), LiveViewOptions{}) == kPhoneOk;
}

void PhoneHost::KeepKeyEventsMatched() {
    const Clock::time_point now = Clock::now();
    if (feed_.Listeners() > 0) {
        lastListenerSeen_ = now;
    }
    // The reports stay on a moment after the last listener left: a page moving from the wall to a
    // phone's own view closes one connection and opens the next.
    const bool wanted = now - lastListenerSeen_ < timing_.keyEventsLinger;
    if (wanted == keyEventsOn_ || (wanted && now < nextKeyEventsTry_)) {
        return;
    }
    if (wanted) {
        // A phone without key reports still serves the rest; it is asked again now and then.
        keyEventsOn_ = phone_->StartKeyEvents(this) == kPhoneOk;
        nextKeyEventsTry_ = keyEventsOn_ ? Clock::time_point{} : now + timing_.reconnectEvery;
    } else {
        phone_->StopKeyEvents(0);
        keyEventsOn_ = false;
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
    if (!liveRunning_) {
        return;
    }
    const bool running = phone_->IsLiveViewRunning(); // before the drain: no last rows are missed
    // Viewers see rows as soon as they arrive, as the window does; screenshots take the live view's
    // settled picture (GrabNow). The rows sent are those that differ from what viewers have.
    const DisplayBitmap* picture = nullptr;
    std::vector<RowSpan> arrived;
    if (phone_->GetLiveImage(picture, arrived) == kPhoneOk && !arrived.empty() && picture &&
        picture->hasPixels()) {
        const Picture rgb = picture->ToPicture();
        auto frame = std::make_shared<LiveFrame>();
        frame->width = static_cast<uint16_t>(rgb.width());
        frame->height = static_cast<uint16_t>(rgb.height());
        frame->rgb.assign(rgb.Row(0), rgb.Row(0) + std::size_t{3} * frame->width * frame->height);
        if (const std::optional<RowSpan> changed = ChangedSpan(feed_.Frame().get(), *frame, arrived)) {
            feed_.PublishFrame(std::move(frame), *changed);
        }
    }
    if (!running) {
        Lose(phone_->GetLiveFailure());
    }
}

void PhoneHost::CheckHealth() {
    if (keyEventsLost_.exchange(false)) {
        std::string reason;
        {
            std::lock_guard<std::mutex> guard(keyLostLock_);
            reason = keyLostReason_;
        }
        Lose(reason);
        return;
    }
    if (liveRunning_ || Clock::now() < nextHealthCheck_) {
        return;
    }
    nextHealthCheck_ = Clock::now() + timing_.healthCheckEvery;
    std::string model;
    if (phone_->GetModel(model) == kPhoneFailed && phone_->Port().errorText() != nullptr) {
        Lose(DescribePortFailure(phone_->Port()));
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

std::string PhoneHost::FailureOf(int32_t result) const {
    if (result == kPhoneBadAnswer) {
        return "the phone's answer could not be used";
    }
    if (const char* text = phone_->FailureText()) {
        return text;
    }
    return DescribePortFailure(phone_->Port());
}

HostReply PhoneHost::GrabNow(int index, bool exact) {
    if (!phone_) {
        return {HostReply::Kind::NotReady, "the phone is not ready", {}};
    }
    const HostStatus status = Status();
    if (index < 0 || static_cast<std::size_t>(index) >= status.displays.size()) {
        return {HostReply::Kind::NoSuchDisplay, "the phone has no display " + std::to_string(index), {}};
    }
    DisplayBitmap bitmap;
    // The live view's settled picture: never one a refresh is still mending. A live view that has
    // just begun has none until its first read of every line ends; that is waited for, since
    // stopping it for a read of our own would only start that read again.
    std::shared_ptr<const Picture> settled;
    if (liveRunning_ && index == 0 && !exact) {
        const auto giveUp = Clock::now() + kFirstSettledWait;
        while (!(settled = phone_->GetLiveSnapshot()) && phone_->IsLiveViewRunning() &&
               Clock::now() < giveUp) {
            phone_->WaitForLiveRefresh(kSettledPollMs);
        }
    }
    if (settled) {
        bitmap.SetFromPicture(*settled);
    } else {
        if (liveRunning_) {
            phone_->StopLiveView(); // started again by the loop while someone watches
            liveRunning_ = false;
        }
        if (const int32_t result = phone_->ReadDisplay(bitmap, index); result != kPhoneOk) {
            return {HostReply::Kind::Failed, "reading the display failed: " + FailureOf(result), {}};
        }
    }
    HostReply reply;
    std::string error;
    if (!EncodePng(bitmap, reply.png, error)) {
        return {HostReply::Kind::Failed, "the picture could not be encoded: " + error, {}};
    }
    return reply;
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
