#pragma once

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/builtin_phone.h"
#include "app/live_inbox.h"
#include "app/main_dialog_options.h"
#include "app/phone_call.h"
#include "session/failure.h"
#include "session/live_recording.h"
#include "session/session.h"

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;

namespace panelgrab {

class PictureArea;
class PictureFrame;
class RefreshingComboBox;
class UserPrompts;
struct PhoneJob;

// The program's one window: choose a port and speed, Connect to list the phone's displays, Read one
// and watch it arrive enlarged, Save it as a PNG or BMP file. Stop (or Esc) ends a read or a live view;
// the status line under everything holds the whole of the last message, failures with their advice.
//
// Threading: the session calls that can block (open with its probe or baud search, the display
// list, releasing an earlier session) run as a PhoneCall on a worker, one at a time; the sessions
// they use belong to that call until it ends (only Session::Abort reaches into it from here), and
// meanwhile the window paints, shows a busy cursor and keeps Connect, Read, Save and the display list
// disabled. A display read runs on the phone's background worker (ScreenRead) and is polled from
// here; a live view's worker pushes what each refresh fetched (LiveInbox), and the window draws it
// when the wake-up it posts arrives. The pictures drawn and saved are immutable snapshots.
//
// A read that is stopped (or dropped by Connect) leaves a phone still sending the rest of its
// picture: the next open waits until the line has been quiet for one read wait, for at most the
// time that rest takes at the read's baud rate.
class MainDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitleNotConnected = "Panelgrab - Not connected";
    static constexpr int kZoomFactors[] = {1, 2, 3};

    explicit MainDialog(MainDialogOptions options = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    // Closing ends a running read or phone call.
    void done(int result) override;

    // The control with this template ID, or null.
    QWidget* Control(int id) const;

    void OnConnect();
    void OnDisplaySelChange();
    void OnRead();
    void OnTimer();
    // Ends the running read or live view, keeping what has arrived; before either has begun (its open
    // still waits) it is called off.
    void Stop();
    // Live view (after a Read): the phone keeps the picture current, re-reading only what changed.
    void SetLiveView(bool on);
    // "Record...": asks for a PNG file and records the live view's pictures into it as an animation;
    // while recording it ends the recording.
    void OnRecord();
    // Records into `path`, starting the live view if need be; false (and said) when the file cannot
    // be made or the live view cannot start. The end of the live view (Stop, Esc, closing, a failure)
    // ends the recording too; the file is written whole at the end.
    bool StartRecording(const QString& path);
    void StopRecording();
    void SetZoom(int zoom);
    void FitPictureFrame(int width, int height);
    void OnSave();
    void OnCopyImage();
    void OnAbout();

    // What the window holds, for tests.
    bool HoldsPhone() const { return session_ != nullptr; }
    bool IsBusy() const { return call_.IsRunning(); }
    bool IsReading() const { return reading_; }
    bool IsLive() const { return live_; }
    // The live view still reads every line for the first time.
    bool IsLiveOpening() const { return live_ && liveOpening_; }
    bool IsRecording() const { return recording_.has_value(); }
    const panelgrab::Picture* Picture() const { return picture_.get(); }
    const std::optional<DisplayInfo>& CurrentDisplay() const { return currentDisplay_; }
    uint16_t LinesShown() const { return linesShown_; }
    // The frame's top-left corner in the window while the picture area is not scrolled.
    QPoint PictureOrigin() const;
    PictureArea* PictureAreaWidget() const { return pictureArea_; }
    PictureFrame* PictureFrameWidget() const;
    int Zoom() const { return zoom_; }
    const std::string& PortName() const { return portName_; }
    int32_t BaudRate() const { return baud_; }
    bool IsPolling() const { return pollTimer_.isActive(); }
    // The picture's rows that hold what the phone sent; the others are shown, copied and saved grey.
    int RowsShown() const { return rowsShown_; }
    QString StatusText() const;
    QAction* AboutAction() const { return aboutAction_; }
    QAction* CopyImageAction() const { return copyAction_; }
    QAction* StopAction() const { return stopAction_; }
    QAction* LiveViewAction() const { return liveAction_; }
    QAction* RecordAction() const { return recordAction_; }
    QAction* ZoomAction(int zoom) const;
    // The picture's context menu as it would open now.
    void FillContextMenu(QMenu& menu);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    // Search: Connect with "auto" tries the baud rates before it connects at the one found.
    enum class Pending { None, Search, Connect, Read, Live };

    void BuildWindow();
    void BuildActions();
    void InitDialog();
    void LoadRememberedConnection();
    void FillPortList();
    void RefillPortItems();
    void OnPortListOpening();
    bool SelectPortEntry(const QString& port);
    QString PortOfEntry(int index) const;
    void TakeSettingsFromLists();
    // Lists the displays that can be read; returns the others' labels.
    QStringList FillDisplayList(DisplayList displays);
    void UpdateControls();
    void ShowStatus(const QString& text);
    // A failure: the warning box, and the same words in the status line.
    void Warn(const QString& text, const QString& detail = {});
    void Warn(const Failure& failure);
    // The simulated phone's entry as failures name it: "Simulated phone (/dev/pts/4)".
    std::string PortLabel() const;

    // A session on the chosen port and rate; null (said) when the simulated phone cannot start.
    std::unique_ptr<Session> MakeSession(bool findRate);
    // A call that releases the held session and opens a new one (with a failure when it cannot be made).
    std::shared_ptr<PhoneJob> NewSessionJob(bool findRate);
    void StartPhoneCall(Pending pending, const std::shared_ptr<PhoneJob>& job);
    void EndPhoneCall();
    // The rate a baud search found, said by the session on the call's worker.
    void OnRateFound();
    void FinishConnect(PhoneJob& job);
    void FinishReadOpen(PhoneJob& job);
    void DropRunningRead();
    void NoteLineBusy();
    std::chrono::milliseconds LineBusyFor(const std::string& portName) const;
    void ShowCallTitle();
    void OnCallTick();
    void ReportOpenFailure(const Failure& failure);
    QString ConnectedTitle() const;
    QString DisplayLabel() const;
    QString ReadProgress(int64_t lines) const;
    void ShowReadProgress(int64_t lines);
    void StopReading();
    void DropPicture();

    void RedrawBand(uint32_t fromLine, uint32_t toLine);
    void FinishRead();
    void FinishLiveOpen(PhoneJob& job);
    // What the live view handed over since the last look: drawn, counted and shown.
    void OnLiveUpdates();
    void DrawLiveChanges(const std::vector<LiveRegion>& regions, bool wasOpening);
    // Ends the live view, keeping its picture; `failure` (when it ended by itself) says why.
    void EndLiveView(const QString& failure = {});
    // Counts the opening read's lines and the refreshes.
    void CountLiveProgress(const LiveInbox::Batch& batch);
    // The live view's progress, and the recording's, in the title and the status line.
    void ShowLiveStatus();
    // Milliseconds on the live view's clock, which its refreshes' times count on.
    int64_t LiveMilliseconds() const;
    // Adds the live view's settled picture, if it is new, at the time its refresh ended.
    void RecordSettledPicture(const std::vector<LiveRefreshStats>& refreshes);
    void RecordPicture(const panelgrab::Picture& picture, int64_t refresh, int64_t atMs);
    // Writes the recording's file; the sentence for the status line, and on failure the error box.
    QString EndRecording();
    QString RecordingProgress() const;
    void SetPicture(std::shared_ptr<const panelgrab::Picture> picture, int rows);
    // The picture as shown: the rows not read in the frame's grey.
    panelgrab::Picture ShownPicture() const;
    void LayOutPictureArea();
    void FitWindowToPicture();
    void ShutDownPhone();

    MainDialogOptions options_;
    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts* prompts_ = nullptr;

    uint16_t linesShown_ = 0;
    // The last Read's session, its port closed between uses; the read and the live view are its.
    std::unique_ptr<Session> session_;
    std::unique_ptr<ScreenRead> read_;
    std::unique_ptr<LiveView> liveView_;
    uint8_t zoom_ = 2;
    std::string portName_ = "COM1";
    int32_t baud_ = 9600;
    bool autoBaud_ = false;   // the baud list says "auto": each Connect finds the rate first
    bool rateFound_ = false;  // baud_ is the rate the last search found
    bool remembered_ = false; // the port and rate came from the last run
    std::optional<DisplayInfo> currentDisplay_;
    std::shared_ptr<const panelgrab::Picture> picture_;
    int rowsShown_ = 0;
    DisplayList displays_; // the entries behind the display list's items, by item position

    // The enable state comes from these alone (UpdateControls).
    bool listUsable_ = false;  // the display list and Read: a Connect listed the displays
    bool saveUsable_ = false;  // a read has ended since the picture was last cleared
    bool reading_ = false;     // a read job runs and the timer polls it
    bool live_ = false;        // the live view runs and pushes its refreshes
    bool liveOpening_ = false; // its opening read of every line has not finished yet
    int64_t liveOpeningRows_ = 0;
    std::shared_ptr<LiveInbox> liveInbox_; // what the running live view handed over
    QString liveNotice_;                   // why every refresh reads the whole display, once said
    std::chrono::steady_clock::time_point liveStarted_{}; // the live view's clock began about then
    std::optional<LiveRecording> recording_;
    int64_t recordedRefresh_ = 0; // the live view's refresh whose picture was recorded last
    QString recordingNote_;       // how the last recording of this live view ended
    std::vector<std::chrono::steady_clock::time_point> liveRefreshes_; // ends of the last seconds' refreshes

    PhoneCall call_;
    Pending pending_ = Pending::None;
    Session* callSession_ = nullptr; // the session the running call opens; owned by the call
    bool callOff_ = false;           // the user stopped a search, Read or live view whose open still ran
    QTimer callTimer_;               // the wait shown in the title while a call runs
    std::chrono::steady_clock::time_point callWaitsUntil_{};
    QString titleBeforeCall_;

    // A read that was stopped or dropped: its phone may go on sending until then, on that port.
    std::chrono::steady_clock::time_point lineBusyUntil_{};
    std::string lineBusyPort_;

    bool stopped_ = false;      // the user stopped the running read
    uint32_t stoppedLines_ = 0; // the complete lines it had brought then
    std::string readPort_;
    int32_t readBaud_ = 0;
    std::chrono::steady_clock::time_point readStarted_{};

    BuiltInPhone builtInPhone_;
    std::string builtInPhoneError_;  // why the simulated phone could not be started, for the message
    std::string builtInPhoneDevice_; // the terminal the simulated phone serves
    QTimer pollTimer_;

    RefreshingComboBox* portList_ = nullptr;
    QComboBox* baudList_ = nullptr;
    QComboBox* displayList_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* readButton_ = nullptr;
    QPushButton* liveButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* recordButton_ = nullptr;
    QLabel* statusLine_ = nullptr;
    PictureArea* pictureArea_ = nullptr;
    QRect areaTemplate_;   // the frame's template rectangle in pixels
    QSize areaMargin_;     // the template's room right of and below the frame, kept as the window grows
    QRect statusTemplate_; // the status line's; it keeps its left, right and bottom margins
    QSize statusMargin_;
    QSize userSize_;   // the least size the window fits itself to: the template's, or the user's
    QSize fittedSize_; // the size it last fitted itself to
    QAction* aboutAction_ = nullptr;
    QAction* copyAction_ = nullptr;
    QAction* stopAction_ = nullptr;
    QAction* liveAction_ = nullptr;
    QAction* recordAction_ = nullptr;
    QActionGroup* zoomActions_ = nullptr;
};

} // namespace panelgrab
