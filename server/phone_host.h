#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/key_event_sink.h"
#include "server/live_feed.h"
#include "server/phone_config.h"
#include "server/phone_recording.h"
#include "session/session.h"

namespace panelgrab::server {

enum class HostState { Connecting, Ready, Gone };
const char* HostStateName(HostState state);

// How the server's failures name what the user can do: a phone's rate is set in its --phone entry,
// and the server cannot share a port that another program holds.
inline const FailureWording kServerWording{"panelgrab-cli ports", "--phone NAME=PORT@BAUD", ""};

struct HostStatus {
    HostState state = HostState::Connecting;
    std::string reason; // why the phone is gone
    std::string portLabel;
    std::string model;
    DisplayList displays;
};

// How a phone operation asked of the host ended.
struct HostReply {
    enum class Kind { Ok, NotReady, Failed, BadRequest, NoSuchDisplay, Busy, NothingRecorded };
    Kind kind = Kind::Ok;
    std::string message; // a failure of the phone in the words every front end shows (FailureMessage)
    std::vector<uint8_t> png;
};

// One phone and its session: the host's thread is the only one that calls the session. It opens
// the phone and opens it again when it comes back, runs the operations clients ask for one at a
// time, keeps a live view running while anyone watches and publishes its rows as the live view
// pushes them (its handler only wakes this thread), and has the phone report its key events while
// anyone listens (as a phone opened directly does: a press made before someone listened is not
// reported to them later). Failures are said as every front end says them (FailureMessage).
//
// Threading: every public call is safe from any thread and returns at once; a reply is delivered
// on the host's thread.
class PhoneHost : private KeyEventSink {
public:
    using Done = std::function<void(HostReply)>;
    struct Timing {
        std::chrono::milliseconds reconnectEvery{1000};
        std::chrono::milliseconds healthCheckEvery{2000};
        // The live view's pictures are pushed; this is how often a running one is checked for
        // having ended by itself (a phone gone).
        std::chrono::milliseconds liveEndCheckEvery{100};
        std::chrono::milliseconds keyEventsLinger{3000}; // reports kept on after the last listener left
        bool fastPort = false;                           // the port's waits shrunk, for tests
        RecordingBounds recordingBounds{};
    };
    static constexpr std::size_t kMaxQueuedJobs = 64;

    PhoneHost(PhoneConfig entry, Timing timing);
    ~PhoneHost();
    PhoneHost(const PhoneHost&) = delete;
    PhoneHost& operator=(const PhoneHost&) = delete;

    // Starts the host's thread, which opens the phone (starting the simulated phone where the port
    // names one).
    void Start();
    void Stop();

    const PhoneConfig& Config() const { return config_; }
    HostStatus Status() const;
    LiveFeed& Feed() { return feed_; }

    // Presses `keys` (the session checks the text); timed when pressMs > 0.
    void PressKeys(std::string keys, int pressMs, int pauseMs, Done done);
    // The picture of display `index` as PNG: the live picture when it is current, else (or with
    // `exact`) a full read.
    void Grab(int index, bool exact, Done done);

    // Recording the live view's settled pictures (of the first display) as an animated PNG; a
    // recording keeps the live view running as a viewer does. One at a time: false when one runs.
    // A recording that ended by itself (a bound, the phone gone) waits to be taken, or is replaced.
    bool StartRecording(int scale);
    const RecordingBounds& RecordingLimits() const { return timing_.recordingBounds; }
    // The recording so far; null when there is none.
    std::optional<RecordingStatus> Recording() const;
    // Ends the recording and hands its file over (reply.png), at once and on the calling thread;
    // NothingRecorded when there is none or it holds no picture yet.
    void StopRecording(Done done);

private:
    using Clock = std::chrono::steady_clock;
    using Job = std::function<void()>;

    bool Post(Job job, const Done& done);
    void Loop();
    void RunJobs();
    void WaitForWork(std::chrono::milliseconds limit);
    bool Connect();
    void Lose(const std::string& reason);
    void KeepLiveViewMatched();
    void KeepKeyEventsMatched();
    void NoteLiveUpdate();
    void PublishLiveRows();
    void RecordSnapshot();
    void EndRecording(const std::string& reason);
    bool RecordingRuns() const;
    void CheckHealth();
    void SetStatus(HostState state, const std::string& reason);
    HostReply GrabNow(int index, bool exact);
    // The running live view's settled picture, waited for while the view has none yet; null
    // without a live view.
    std::shared_ptr<const Picture> SettledLivePicture();

    void OnKeyPressed(std::string key) override;
    void OnKeyReleased(std::string key) override;
    void OnKeyEventsStopped() override {}
    void OnKeyEventsLost(const std::string& reason) override;

    const PhoneConfig config_;
    const Timing timing_;
    LiveFeed feed_;

    // The host's thread only (made and ended with the host).
    std::unique_ptr<Session> session_;
    bool connected_ = false;
    bool opened_ = false; // the session was opened once: it is reopened after a loss
    std::unique_ptr<LiveView> live_;
    std::unique_ptr<KeySubscription> keys_;
    Clock::time_point nextKeyEventsTry_{}; // after the phone refused to report them
    Clock::time_point lastListenerSeen_{};
    Clock::time_point nextConnect_{};
    Clock::time_point nextHealthCheck_{};

    mutable std::mutex recordingLock_;
    std::unique_ptr<PhoneRecording> recording_;

    mutable std::mutex statusLock_;
    HostStatus status_;

    std::mutex jobLock_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    bool liveUpdated_ = false; // the live view pushed rows or ended a refresh since the last look

    std::mutex keyLostLock_;
    std::string keyLostReason_;
    std::atomic<bool> keyEventsLost_{false};
    std::thread worker_;
    std::atomic<bool> workerDone_{false}; // the worker has left its loop
};

} // namespace panelgrab::server
