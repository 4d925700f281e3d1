#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include <pybind11/pybind11.h>

#include "python/key_event_queue.h"
#include "python/live_update_queue.h"
#include "python/trace_bridge.h"
#include "session/session.h"

namespace panelgrab::python {

class Screen;

// The Python Phone: one session with a phone (the simulated phone when the port name asks for one),
// the key subscription and the live view it runs.
//
// Threading: Python threads may share a Phone; its operations run one at a time under a lock that is
// only ever waited for with the GIL released (a thread holding the lock may take the GIL back, e.g.
// for a progress callback). Every library call runs with the GIL released, on a helper thread while
// the caller watches for Ctrl-C (InterruptibleCall). An interrupt aborts the session (its port closes),
// which ends any exchange or transfer at once; the next operation opens it again. Close() from any thread
// ends the key event iterations and the operation of another thread at once.
class PhoneHandle : public std::enable_shared_from_this<PhoneHandle> {
public:
    // Opens the session: starts the simulated phone for "sim" and "sim:OPTIONS", finds the baud rate
    // when asked, opens the port, which proves that a phone answers. Raises ValueError, OSError,
    // PortError, PhoneError or PhoneNotResponding.
    // `trace` is None or a callable (direction, text) that gets the port's traffic.
    static std::shared_ptr<PhoneHandle> Open(SessionOptions options, const pybind11::object& trace);
    ~PhoneHandle();
    PhoneHandle(const PhoneHandle&) = delete;
    PhoneHandle& operator=(const PhoneHandle&) = delete;

    // Ends the key event iterations, ends another thread's operation (closing the port under it),
    // stops the key events, closes the port and the simulated phone. A second call does nothing.
    void Close();
    bool closed();
    // The port as messages name it: "sim (/dev/pts/4)", "COM1 (/dev/ttyS0)", "/dev/ttyACM0".
    const std::string& label() const { return label_; }
    int32_t baud() const { return baud_; }

    std::string Model();
    DisplayList Displays();
    // Reads display `position` of the display list on the background worker; `progress` (None or a
    // callable) is called with (lines received, lines in all) as they arrive.
    std::shared_ptr<Screen> Grab(std::size_t position, const pybind11::object& progress);
    uint32_t Checksum(const DisplayRegion& region, int32_t displayNumber);
    void Press(const std::string& keys, std::optional<int32_t> pressMs, std::optional<int32_t> pauseMs);
    GuiObjectMap GuiObject();
    std::string Send(const std::string& text);

    // Starts delivering the phone's key events into `queue`; one queue at a time.
    void StartKeyEvents(const std::shared_ptr<KeyEventQueue>& queue);
    // Stops delivering into `queue` (nothing when another one has taken over).
    void StopKeyEvents(const std::shared_ptr<KeyEventQueue>& queue);

    // The local checksum over the picture text of grab `generation`, while no later grab replaced it.
    uint32_t RegionChecksum(uint64_t generation, const DisplayRegion& region);

    // Live view (see LiveStream): starts it on display `position`, each refresh pushed into `queue`;
    // `fullEverySeconds` none keeps the default period of full reads. One at a time.
    void StartLive(std::size_t position, std::optional<double> fullEverySeconds,
                   const std::shared_ptr<LiveUpdateQueue>& queue);
    void StopLive();
    // The live picture as it is now.
    std::shared_ptr<Screen> LivePicture();
    // Why the live view ended by itself, in the session's words; none while it runs or after
    // StopLive.
    std::optional<Failure> LiveFailure();

private:
    PhoneHandle() = default;

    // The display at `position` of the list the session asked once (IndexError beyond it). Lock held.
    DisplayInfo DisplayAt(std::size_t position);

    // The operation lock, held by one thread (owner_) at a time. Waiting for it looks at Ctrl-C
    // every slice; with `abortOwner` it also ends the operation that holds it.
    class Guard {
    public:
        explicit Guard(PhoneHandle& phone, bool abortOwner = false);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        PhoneHandle& phone_;
    };
    // Takes the operation lock, waiting with the GIL released. GIL held on entry. Raises RuntimeError
    // on the thread that holds it already (a progress callback calling the phone), which would
    // otherwise wait for itself.
    Guard Lock() { return Guard(*this); }
    // Runs a session call interruptibly (an interrupt aborts the session), opening the port again
    // first when an interrupt or a stopped grab closed it. Lock and GIL held on entry.
    void Call(const std::function<void(Session&)>& work);
    // Runs `call` through Call and gives its value, or raises its failure. Lock and GIL held.
    template <typename T> T ValueOf(const std::function<Result<T>(Session&)>& call);
    // Raises ValueError for a closed phone. Lock and GIL held.
    void CheckOpen();
    // Opens the port again after an interrupt closed it, once the phone is quiet. Lock and GIL held.
    void Reopen(Session& session);
    // Ends whatever still runs and frees the session. GIL released.
    void Release();
    // Closes the port under the running operation, without the operation lock. GIL released.
    void AbortOperation();

    std::timed_mutex lock_;
    std::mutex abortLock_; // session_ and events_ against AbortOperation and Close, which lack lock_
    std::atomic<std::thread::id> owner_{};
    std::string label_;
    std::unique_ptr<TraceBridge> trace_;    // outlives session_, whose port calls it
    std::unique_ptr<Session> session_;      // null once closed
    std::unique_ptr<KeySubscription> keys_; // ends before session_, as live_ does
    std::unique_ptr<LiveView> live_;
    std::shared_ptr<KeyEventQueue> events_;
    std::atomic<bool> closing_{false}; // Close() was called: operations fail as on a closed phone
    int32_t baud_ = 0;
    uint64_t generation_ = 0; // grabs so far
};

} // namespace panelgrab::python
