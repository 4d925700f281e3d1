#include "phone/at_phone.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "background/key_event_listener.h"
#include "background/live_view_task.h"
#include "background/screen_read_task.h"
#include "capture/capture_texts.h"
#include "capture/checksum_task.h"
#include "capture/screen_image.h"
#include "common/commands.h"
#include "common/text_codec.h"
#include "gui_dump/gui_object_task.h"
#include "phone/model_answer.h"
#include "phone/phone_texts.h"

namespace panelgrab {
namespace {

constexpr int kCommandTimeout = 20;
const char* const kTextBadLiveOptions =
    "The live view's options are out of range (bands of 1 to 4096 rows, smallest bands no larger, "
    "no negative time).";

} // namespace

const char* const kTextTransferHoldsPort =
    "A picture transfer still holds the port; wait until it has ended (a stopped one still sends "
    "the rest of its picture).";
const char* const kTextLiveViewHoldsPort = "A live view holds the port; stop it first.";

AtPhone::AtPhone(std::unique_ptr<SerialPort> ownedPort) : PhoneLink(std::move(ownedPort)) {}

AtPhone::~AtPhone() {
    keyClient = nullptr;
    // Closing first makes a blocked transfer or listener read fail at once, so the joins below
    // return promptly; no job is freed while its worker still runs.
    port->Close();
    if (readTask) {
        readTask->Join();
    }
    if (liveTask) {
        liveTask->Stop();
    }
    if (keyListener && keyListener->OnWorkerThread()) {
        HandOverToListener();
    } else if (keyListener) {
        keyListener->Stop();
    }
    readTask.reset();
    liveTask.reset();
    keyListener.reset();
}

void AtPhone::HandOverToListener() {
    // The listener's thread is inside this call (a key handler destroys the phone): it cannot be
    // joined here, and it still runs through the listener and the port once the handler returns.
    // Both become its own, and it frees them as its last step.
    struct Leftovers {
        std::unique_ptr<SerialPort> port;           // freed last: the listener uses it
        std::unique_ptr<KeyEventListener> listener; // its worker is detached by Join
    };
    keyListener->RequestStop();
    keyListener->Join();
    auto leftovers = std::make_shared<Leftovers>(Leftovers{std::move(port), std::move(keyListener)});
    KeyEventListener& listener = *leftovers->listener;
    listener.LeaveToWorker([leftovers]() mutable { leftovers.reset(); });
}

int32_t AtPhone::Open(bool sendInitCommands) {
    BeginOperation();
    if (PortTaken(true)) {
        return kPhoneOpenFailed; // reopening would pull the line from under the running transfer
    }
    listedByDisplayImage = false; // it may be another phone now
    return port->Open(sendInitCommands) ? kPhoneOk : kPhoneOpenFailed;
}

int32_t AtPhone::Close() {
    port->Close();
    return kPhoneOk;
}

int32_t AtPhone::ReservedOperation1() {
    return kPhoneFailed;
}

int32_t AtPhone::ReservedOperation2() {
    return kPhoneFailed;
}

int32_t AtPhone::ReservedOperation3() {
    return kPhoneFailed;
}

int32_t AtPhone::CheckConnection() {
    BeginOperation();
    if (PortTaken(false)) {
        return kPhoneFailed;
    }
    return port->SendInitCommands() ? kPhoneOk : kPhoneFailed;
}

int32_t AtPhone::GetModel(std::string& model) {
    BeginOperation();
    if (PortTaken(false)) {
        return kPhoneFailed;
    }
    std::string answer;
    if (port->Query(kCmdModel, answer, kCommandTimeout) != Ok) {
        return kPhoneFailed;
    }
    return ParseModelAnswer(answer, model);
}

int32_t AtPhone::GetGuiObjects(GuiObjectMap& objects) {
    BeginOperation();
    if (PortTaken(false)) {
        return kPhoneFailed;
    }
    GuiObjectTask task(*port);
    if (task.Run() != Ok) {
        return kPhoneFailed;
    }
    GuiObjectMap scratch;
    if (!task.GetResult(scratch)) {
        return kPhoneBadAnswer;
    }
    objects.CopyFrom(scratch);
    return kPhoneOk;
}

int32_t AtPhone::ReadDisplay(DisplayBitmap& picture, int32_t position) {
    BeginOperation();
    if (PortTaken(true)) {
        return kPhoneFailed;
    }
    ScreenImage screen;
    return FinishRead(screen, screen.ReadScreen(*port, position), picture);
}

int32_t AtPhone::ReadListedDisplay(DisplayBitmap& picture, const DisplayInfo& display) {
    BeginOperation();
    if (PortTaken(true)) {
        return kPhoneFailed;
    }
    ScreenImage screen;
    return FinishRead(screen, screen.ReadDisplay(*port, display, listedByDisplayImage), picture);
}

int32_t AtPhone::FinishRead(ScreenImage& screen, bool read, DisplayBitmap& picture) {
    if (!read) {
        if (IsScreenBufferText(screen.errorText())) {
            failureText = screen.errorText();
        }
        SetFailureDetail(screen.FailureDetail());
        return kPhoneFailed;
    }
    const std::optional<DisplayInfo> display = screen.current();
    if (!display) {
        return kPhoneBadAnswer;
    }
    picture.SetSize(*display); // a failed sizing leaves no pixel rows, and RenderInto then fails
    return screen.RenderInto(picture) ? kPhoneOk : kPhoneBadAnswer;
}

int32_t AtPhone::GetDisplayChecksum(const DisplayRegion& region, int32_t displayNumber, int32_t& checksum) {
    BeginOperation();
    if (PortTaken(false)) {
        return kPhoneFailed;
    }
    ChecksumTask task(region, displayNumber, *port);
    if (task.Run() != Ok) {
        return kPhoneFailed;
    }
    int32_t value = 0;
    if (!task.GetResult(value)) {
        return kPhoneBadAnswer;
    }
    checksum = value;
    return kPhoneOk;
}

int32_t AtPhone::GetDisplayList(DisplayList& displays) {
    BeginOperation();
    if (PortTaken(false)) {
        return kPhoneFailed;
    }
    ScreenImage screen;
    const bool listed = screen.QueryDisplayList(*port, displays);
    listedByDisplayImage = listed && screen.ListedByDisplayImage();
    return listed ? kPhoneOk : kPhoneFailed;
}

int32_t AtPhone::StartScreenRead(const DisplayInfo& display) {
    BeginOperation();
    if (readTask && readTask->IsRunning()) {
        failureText = kTextTransferHoldsPort;
        return kPhoneFailed; // the running read is left alone, and so is a stopped one still transferring
    }
    if (PortTaken(true)) {
        return kPhoneFailed;
    }
    if (readTask) {
        readTask->Join();
        readTask.reset();
    }
    readTask = std::make_unique<ScreenReadTask>(display, *port, listedByDisplayImage);
    return readTask->Start() ? kPhoneOk : kPhoneFailed;
}

int32_t AtPhone::StopScreenRead() {
    if (readTask) {
        readTask->Stop();
    }
    return kPhoneFailed; // also when a read was stopped: callers rely on this value
}

int32_t AtPhone::GetReadProgress() {
    return readTask ? readTask->GetProgress() : -1;
}

int32_t AtPhone::GetReadImage(const DisplayBitmap*& picture) {
    if (!readTask) {
        return kPhoneFailed;
    }
    picture = readTask->GetPicture();
    return kPhoneOk;
}

int32_t AtPhone::GetRegionChecksum(const DisplayRegion& region, int32_t& checksum) {
    if (!readTask) {
        return kPhoneFailed;
    }
    return readTask->GetRegionChecksum(region, checksum) ? kPhoneOk : kPhoneFailed;
}

bool AtPhone::IsReadRunning() {
    return readTask && readTask->IsRunning();
}

int32_t AtPhone::PressKeyTimed(const std::string& keys, int32_t pressMs, int32_t pauseMs) {
    BeginOperation();
    if (!CheckKeyText(keys)) {
        return kPhoneFailed;
    }
    // A negative time has no meaning on the wire and would go out as a huge unsigned number.
    if (pressMs < 0 || pauseMs < 0) {
        return kPhoneFailed;
    }
    // AT+CKPD counts in tenths of a second: 250 ms gives 2, 99 ms gives 0.
    return ExecuteCommand(FormatTimedKeyPress(keys, static_cast<unsigned>(pressMs / 100),
                                              static_cast<unsigned>(pauseMs / 100)));
}

int32_t AtPhone::PressKey(const std::string& keys) {
    BeginOperation();
    if (!CheckKeyText(keys)) {
        return kPhoneFailed;
    }
    return ExecuteCommand(FormatKeyPress(keys));
}

int32_t AtPhone::StartKeyEvents(KeyEventSink* client) {
    if (keyListener && keyListener->OnWorkerThread()) {
        keyClient = client;
        keyListener->Resume();
        return kPhoneOk;
    }
    if (PortTaken(false)) {
        return kPhoneFailed;
    }
    if (keyListener) {
        StopKeyEvents(0); // a second listener on the same port would steal the first one's reports
    }
    keyListener = std::make_unique<KeyEventListener>(static_cast<KeyEventSink*>(this), *port);
    keyClient = client;
    if (!keyListener->Start()) {
        // The phone refused to report keys: nothing will ever arrive, so say so.
        keyClient = nullptr;
        keyListener.reset();
        return kPhoneFailed;
    }
    return kPhoneOk;
}

int32_t AtPhone::StopKeyEvents(int32_t /*unused*/) {
    keyClient = nullptr;
    if (!keyListener) {
        return kPhoneFailed;
    }
    if (keyListener->OnWorkerThread()) {
        // Called from a key handler: the listener cannot wait for its own thread, nor be freed
        // under it. It switches the reporting off and ends once the handler has returned; the next
        // call from the client's thread (or the destructor) joins it.
        keyListener->RequestStop();
        return kPhoneOk;
    }
    const bool switchedOff = keyListener->Stop();
    keyListener.reset();
    return switchedOff ? kPhoneOk : kPhoneFailed;
}

std::string AtPhone::GetReadFailure() {
    return readTask && !readTask->IsTransferring() ? readTask->FailureText() : std::string();
}

int32_t AtPhone::StartLiveView(const DisplayInfo& display, const LiveViewOptions& options) {
    BeginOperation();
    if (PortTaken(true)) {
        return kPhoneFailed;
    }
    if (!options.valid()) {
        failureText = kTextBadLiveOptions;
        return kPhoneFailed;
    }
    liveTask.reset(); // an ended job's worker has left; its destructor joins it
    liveTask = std::make_unique<LiveViewTask>(display, options, *port);
    liveTask->SetUpdateHandler(liveHandler);
    return liveTask->Start() ? kPhoneOk : kPhoneFailed;
}

int32_t AtPhone::StopLiveView() {
    if (!liveTask) {
        return kPhoneFailed;
    }
    liveTask->Stop();
    return kPhoneOk;
}

bool AtPhone::IsLiveViewRunning() {
    return LiveViewRuns();
}

int32_t AtPhone::RequestLiveFullRead() {
    if (!LiveViewRuns()) {
        return kPhoneFailed;
    }
    liveTask->RequestFullRead();
    return kPhoneOk;
}

std::shared_ptr<const Picture> AtPhone::GetLiveSnapshot(int64_t* refreshNumber) {
    return liveTask ? liveTask->Snapshot(refreshNumber) : nullptr;
}

int32_t AtPhone::GetLiveImage(const DisplayBitmap*& picture, std::vector<RowSpan>& changedRows) {
    changedRows.clear();
    if (!liveTask) {
        return kPhoneFailed;
    }
    picture = liveTask->GetPicture(changedRows);
    return kPhoneOk;
}

int32_t AtPhone::TakeLiveRefreshes(std::vector<LiveRefreshStats>& finished) {
    finished.clear();
    if (!liveTask) {
        return kPhoneFailed;
    }
    liveTask->TakeRefreshes(finished);
    return kPhoneOk;
}

std::string AtPhone::GetLiveNotice() {
    return liveTask ? liveTask->Notice() : std::string();
}

std::string AtPhone::GetLiveFailure() {
    return liveTask ? liveTask->FailureText() : std::string();
}

// Live view, pushed to the client.

int32_t AtPhone::SetLiveUpdateHandler(LiveUpdateHandler handler) {
    liveHandler = std::move(handler);
    if (liveTask) {
        liveTask->SetUpdateHandler(liveHandler);
    }
    return kPhoneOk;
}

bool AtPhone::WaitForLiveRefresh(int32_t timeoutMs) {
    return !liveTask || liveTask->WaitForRefresh(std::chrono::milliseconds(std::max(timeoutMs, 0)));
}

int32_t AtPhone::SendCommand(const std::string& command, std::string& answer) {
    BeginOperation();
    answer.clear();
    if (PortTaken(false)) {
        return kPhoneFailed;
    }
    std::string raw;
    const ExchangeResult result = port->Transact(ToNarrow(command), raw, kCommandTimeout);
    // An ERROR is the phone's answer as much as an OK: the client gets it whole.
    if (result == Ok || result == ErrorAnswer) {
        answer = DecodeUtf8(raw);
    }
    return result == Ok ? kPhoneOk : kPhoneFailed;
}

void AtPhone::SetTraceSink(TraceSink* sink) {
    if (port) {
        port->SetTraceSink(sink);
    }
}

void AtPhone::OnKeyPressed(std::string key) {
    if (KeyEventSink* client = keyClient.load()) {
        client->OnKeyPressed(std::move(key));
    }
}

void AtPhone::OnKeyReleased(std::string key) {
    if (KeyEventSink* client = keyClient.load()) {
        client->OnKeyReleased(std::move(key));
    }
}

void AtPhone::OnKeyEventsStopped() {
    // The client asked for the stop itself; it is not told again.
}

void AtPhone::OnKeyEventsLost(const std::string& reason) {
    if (KeyEventSink* client = keyClient.load()) {
        client->OnKeyEventsLost(reason);
    }
}

bool AtPhone::ReadUsesPort() const {
    return readTask && readTask->IsTransferring();
}

bool AtPhone::LiveViewRuns() const {
    return liveTask && liveTask->IsRunning();
}

bool AtPhone::PortTaken(bool byLiveViewToo) {
    if (ReadUsesPort()) {
        failureText = kTextTransferHoldsPort;
        return true;
    }
    if (byLiveViewToo && LiveViewRuns()) {
        failureText = kTextLiveViewHoldsPort;
        return true;
    }
    return false;
}

bool AtPhone::CheckKeyText(const std::string& keys) {
    // Nothing of a key text reaches the line unless the command can carry all of it.
    std::string problem = KeyTextProblem(keys);
    SetFailureDetail(problem);
    return problem.empty();
}

int32_t AtPhone::ExecuteCommand(const NarrowString& command) {
    if (PortTaken(false)) {
        return kPhoneFailed;
    }
    return port->Execute(command, kCommandTimeout) == Ok ? kPhoneOk : kPhoneFailed;
}

} // namespace panelgrab
