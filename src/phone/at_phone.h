#pragma once

#include <atomic>
#include <memory>

#include "common/key_event_sink.h"
#include "phone/phone_link.h"

namespace panelgrab {

class ScreenImage;
class ScreenReadTask;
class KeyEventListener;
class LiveViewTask;

// The phone spoken to with AT commands over the serial port it owns. It owns at most one
// background display read, one live view and one key listener, and forwards the listener's key
// events to the client given to StartKeyEvents.
//
// Threading: every operation runs on the client's thread; key events reach the client on the
// listener's worker thread. While a background read still transfers, operations that would talk
// over the port are refused with kPhoneFailed instead of mixing their commands into the picture
// stream. While a live view runs, only the picture reads and Open are refused (see PhoneLink).
// Destroying the object closes the port first, which ends a running transfer promptly, then joins
// the workers before the jobs are freed.
class AtPhone : public PhoneLink, private KeyEventSink {
public:
    explicit AtPhone(std::unique_ptr<SerialPort> ownedPort);
    ~AtPhone() override;

    int32_t Open(bool sendInitCommands) override;
    int32_t Close() override;
    int32_t ReservedOperation1() override;
    int32_t CheckConnection() override;
    int32_t GetModel(std::string& model) override;
    int32_t ReservedOperation2() override;
    int32_t GetGuiObjects(GuiObjectMap& objects) override;
    int32_t ReservedOperation3() override;
    int32_t ReadDisplay(DisplayBitmap& picture, int32_t position) override;
    int32_t GetDisplayChecksum(const DisplayRegion& region, int32_t displayNumber,
                               int32_t& checksum) override;
    int32_t GetDisplayList(DisplayList& displays) override;
    int32_t ReadListedDisplay(DisplayBitmap& picture, const DisplayInfo& display) override;
    int32_t StartScreenRead(const DisplayInfo& display) override;
    int32_t StopScreenRead() override;
    int32_t GetReadProgress() override;
    int32_t GetReadImage(const DisplayBitmap*& picture) override;
    int32_t GetRegionChecksum(const DisplayRegion& region, int32_t& checksum) override;
    bool IsReadRunning() override;
    int32_t PressKeyTimed(const std::string& keys, int32_t pressMs, int32_t pauseMs) override;
    int32_t PressKey(const std::string& keys) override;
    int32_t StartKeyEvents(KeyEventSink* client) override;
    int32_t StopKeyEvents(int32_t unused) override;
    std::string GetReadFailure() override;
    int32_t StartLiveView(const DisplayInfo& display, const LiveViewOptions& options) override;
    int32_t StopLiveView() override;
    bool IsLiveViewRunning() override;
    int32_t RequestLiveFullRead() override;
    int32_t GetLiveImage(const DisplayBitmap*& picture, std::vector<RowSpan>& changedRows) override;
    std::shared_ptr<const Picture> GetLiveSnapshot(int64_t* refreshNumber = nullptr) override;
    int32_t TakeLiveRefreshes(std::vector<LiveRefreshStats>& finished) override;
    std::string GetLiveNotice() override;
    std::string GetLiveFailure() override;
    // Live view, pushed to the client.
    int32_t SetLiveUpdateHandler(LiveUpdateHandler handler) override;
    bool WaitForLiveRefresh(int32_t timeoutMs) override;

    int32_t SendCommand(const std::string& command, std::string& answer) override;
    void SetTraceSink(TraceSink* sink) override;

private:
    // The listener's events, forwarded to keyClient while one is set.
    void OnKeyPressed(std::string key) override;
    void OnKeyReleased(std::string key) override;
    void OnKeyEventsStopped() override;
    void OnKeyEventsLost(const std::string& reason) override;
    // The phone object is being destroyed from inside a key handler.
    void HandOverToListener();

    // True while a background read's worker still uses the port (also after StopScreenRead).
    bool ReadUsesPort() const;
    bool LiveViewRuns() const;
    // Whether a transfer (or, with `byLiveViewToo`, a live view) has the port; FailureText() then
    // says which.
    bool PortTaken(bool byLiveViewToo);
    int32_t ExecuteCommand(const NarrowString& command);
    // A synchronous read's outcome: its failure noted, or the picture decoded into `picture`.
    int32_t FinishRead(ScreenImage& screen, bool read, DisplayBitmap& picture);
    // False (with the reason as the failure detail) for a key text AT+CKPD cannot carry.
    bool CheckKeyText(const std::string& keys);

    std::unique_ptr<ScreenReadTask> readTask;
    std::unique_ptr<LiveViewTask> liveTask;
    LiveUpdateHandler liveHandler; // given to every live view job
    std::unique_ptr<KeyEventListener> keyListener;
    // The last display list came from the phone's AT*ZISI=? answer since the port was opened.
    std::atomic<bool> listedByDisplayImage{false};
};

} // namespace panelgrab
