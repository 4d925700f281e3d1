#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "capture/display_bitmap.h"
#include "capture/display_info.h"
#include "common/display_region.h"
#include "common/image/picture.h"
#include "common/key_event_sink.h"
#include "gui_dump/gui_object_map.h"
#include "session/key_subscription.h"
#include "session/live_view.h"
#include "session/result.h"
#include "session/screen_read.h"
#include "session/session_options.h"

namespace panelgrab {

class BaudSearch;
class PhoneLink;
class SessionRecorder;
namespace sim {
class SimulatedPhone;
}

// The options "sim:OPTIONS" takes, as help text.
std::string SimulatedPhoneHelp();
// When `port` names the simulated phone with options ("sim:OPTIONS"), whether it takes them (a
// BadInput failure saying why not); any other port passes. Opens and starts nothing.
Result<void> CheckSimulatorPort(const std::string& port);

// How a grab reads the display: in one call, or on the phone's background worker, which counts
// what has arrived (for a progress display) and keeps the picture text for region checksums.
enum class GrabMode { AtOnce, Background };

struct GrabProgress {
    int64_t lines = 0;      // lines received so far
    int64_t totalLines = 0; // lines of the display
};

struct GrabOptions {
    GrabMode mode = GrabMode::AtOnce;
    // Background grabs: called on the grabbing thread as lines arrive (and once at the end);
    // returning false stops the grab. An exception it throws stops the grab too and goes on.
    std::function<bool(const GrabProgress&)> progress;
    std::chrono::milliseconds pollInterval{100};
};

// How long each key is held and the pause after it, in milliseconds (the phone counts tenths).
struct KeyTiming {
    int32_t pressMs = 0;
    int32_t pauseMs = 0;
};

// A picture read from the phone; immutable and shared.
struct Grabbed {
    std::shared_ptr<const DisplayBitmap> bitmap; // as the phone described it
    std::shared_ptr<const Picture> picture;      // the same as RGB
};

// What Send brought back: the phone's whole answer (also when it ended in ERROR) and, when the
// command did not end in OK, why.
struct Sent {
    std::string answer;
    std::optional<Failure> failure;
};

// One conversation with one phone: the simulated phone behind it when the port names one, the
// phone object over its port, the trace and the session recording. Every front end does what it
// does with a phone through this class; it turns their input into phone calls and the phone's
// results into values and Failures.
//
// Threading (docs/ARCHITECTURE.md has the whole table): the operations run one at a time, on
// whichever thread the front end chooses. Abort() may come from any thread at any time. The
// handles (KeySubscription, LiveView) must end before the session does.
class Session {
public:
    explicit Session(SessionOptions options, PortOverrides overrides = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the simulated phone if the port names one, finds the baud rate when asked to, makes
    // the phone object and opens the port, which proves that a phone answers.
    Result<void> Open();
    // Opens the port again after Abort() or a stopped grab closed it, once the phone will have
    // sent what it still had of a picture. The wait ends early, as Stopped, on Abort().
    Result<void> Reopen();
    // When the phone whose transfer was stopped will have sent the rest of its picture, judged by
    // the pace it came at; Reopen() waits until then. In the past when nothing was stopped.
    std::chrono::steady_clock::time_point QuietAt() const { return quietAt_; }
    // True once Abort() or a stopped grab closed the port of an open session.
    bool NeedsReopen() const { return reopen_.load(); }
    // From any thread: ends a baud search or the exchange in hand at once (the port is closed);
    // later operations fail until Reopen().
    void Abort();
    // Closes the port of an open session, which Reopen() opens again; the handles must have ended.
    void Close();

    // The port as messages name it: "COM1 (/dev/ttyS0)", "sim (/dev/pts/4)", "/dev/ttyUSB0".
    const std::string& PortLabel() const { return label_; }
    int32_t BaudRate() const { return baud_; }
    // How long the port waits for an answer to begin.
    std::chrono::milliseconds ReadWait() const;

    Result<std::string> Model();
    // The phone's display list; kept for DisplayAt.
    Result<DisplayList> Displays();
    // Entry `position` of the display list, asked of the phone only once a session.
    Result<DisplayInfo> DisplayAt(std::size_t position);
    // Reads `display`, an entry of the list Displays or DisplayAt gave.
    Result<Grabbed> Grab(const DisplayInfo& display, const GrabOptions& options);
    // The checksum of a region of the last background grab's picture text, computed here.
    Result<uint32_t> RegionChecksum(const DisplayRegion& region);
    // The phone's own checksum of a region of display `displayNumber`.
    Result<uint32_t> Checksum(const DisplayRegion& region, int32_t displayNumber);
    // Presses `keys`; with `timing`, each held and spaced so.
    Result<void> PressKeys(const std::string& keys, std::optional<KeyTiming> timing);
    Sent Send(const std::string& text);
    Result<GuiObjectMap> GuiObjects();
    // Switches the phone's key reporting on; each report reaches `sink` on the listener's thread
    // until the subscription ends.
    Result<std::unique_ptr<KeySubscription>> ListenToKeys(KeyEventSink& sink);
    // Keeps a picture of `display` current; `handler` (may be empty) gets every refresh pushed.
    Result<std::unique_ptr<LiveView>>
    StartLiveView(const DisplayInfo& display, const LiveViewOptions& options, LiveUpdateHandler handler);
    // Why `view`, started by this session, ended by itself, in the words of a failure of the port
    // (or the screen buffer's own), with "the live view ended" as how far it came.
    Failure LiveViewEnded(const LiveView& view) const;
    // Starts reading `display` on the phone's background worker, for a caller that follows it
    // itself (Grab follows a read to its end).
    Result<std::unique_ptr<ScreenRead>> StartRead(const DisplayInfo& display);

private:
    // The port-name rules: the device to open into `devicePath` and the label messages use.
    Result<void> ResolvePort(std::string& devicePath);
    Result<void> StartSimulator(std::string& devicePath);
    // The phone object over a port with `settings`, with its trace and notices.
    Result<void> MakePhone(const ConnectionSettings& settings);
    Failure StoppedFailure() const;
    Result<void> FindBaudRate(ConnectionSettings& settings);
    Result<void> MakeTraceSink(TraceSink*& sink);
    Result<void> OpenPort();
    Failure OperationFailed(int32_t result, const char* operation) const;
    Result<Grabbed> GrabAtOnce(const DisplayInfo& display);
    Result<Grabbed> GrabInBackground(const DisplayInfo& display, const GrabOptions& options);
    // Follows the running read; false when the progress callback stopped it.
    bool FollowRead(const DisplayInfo& display, const GrabOptions& options);
    // Ends a read the caller stopped: closes the port and notes when the phone will be quiet.
    void StopRead(const DisplayInfo& display, std::chrono::steady_clock::time_point started);
    // Closes the port under a running read and notes when the phone will be quiet.
    void NoteReadStopped(const DisplayInfo& display, std::chrono::steady_clock::time_point started);

    SessionOptions options_;
    PortOverrides overrides_;
    std::string label_;
    int32_t baud_ = 0;
    std::unique_ptr<sim::SimulatedPhone> simulator_;
    std::unique_ptr<SessionRecorder> recorder_;
    std::unique_ptr<PhoneLink> phone_;
    std::optional<DisplayList> displays_; // asked once
    std::mutex abortLock_;                // search_ and phone_ against Abort
    BaudSearch* search_ = nullptr;
    std::condition_variable aborted_;
    bool abortRequested_ = false; // guarded by abortLock_
    std::atomic<bool> reopen_{false};
    // A stopped grab leaves a phone that goes on sending its picture and hears no command until it
    // is done: the port is opened again only after this.
    std::chrono::steady_clock::time_point quietAt_{};
};

} // namespace panelgrab
