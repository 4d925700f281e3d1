#pragma once

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/builtin_phone.h"
#include "app/main_dialog_options.h"
#include "capture/display_info.h"
#include "phone/phone_link.h"
#include "transport/connection_settings.h"

class QAction;
class QComboBox;
class QPushButton;

namespace panelgrab {

class DisplayBitmap;
class UserPrompts;

// The program's one window: choose a port and speed, Connect to list the phone's displays, Read one
// and watch it arrive enlarged two times, Save it as a bitmap file.
//
// Every phone operation runs on this thread; a display read runs on the phone object's worker and is
// only polled from here. The picture drawn and saved belongs to the phone object's read job and is
// forgotten before that object is destroyed.
class MainDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitleNotConnected = "Panelgrab - Not connected";

    explicit MainDialog(MainDialogOptions options = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    // Closing ends a running read.
    void done(int result) override;

    // The control with this template ID, or null.
    QWidget* Control(int id) const;

    void OnConnect();
    void ProbePhone();
    void OnDisplaySelChange();
    void ReleasePhone();
    void OnRead();
    void OnTimer();
    void FitPictureFrame(int width, int height);
    void OnSave();
    void OnCopyImage();
    void OnAbout();

    // What the window holds, for tests.
    bool HoldsPhone() const { return phone_ != nullptr; }
    const DisplayBitmap* Picture() const { return picture_; }
    const std::optional<DisplayInfo>& CurrentDisplay() const { return currentDisplay_; }
    uint16_t LinesShown() const { return linesShown_; }
    QPoint PictureOrigin() const { return pictureOrigin_; }
    int Zoom() const { return zoom_; }
    const ConnectionSettings& Settings() const { return settings_; }
    bool IsPolling() const { return pollTimer_.isActive(); }
    QAction* AboutAction() const { return aboutAction_; }
    QAction* CopyImageAction() const { return copyAction_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void BuildWindow();
    void BuildActions();
    void InitDialog();
    void FillPortList();
    void TakeSettingsFromLists();
    void FillDisplayList(DisplayList displays);
    void SetCaptureControlsEnabled(bool enabled);
    std::unique_ptr<PhoneLink> MakePhone();
    bool OpenNewPhone();
    void ReportNotResponding();
    QString ConnectedTitle() const;
    uint32_t CompleteLines(int32_t progress) const;
    void RedrawBand(uint32_t fromLine, uint32_t toLine);
    void FinishRead();
    void WaitProcessingEvents(std::chrono::milliseconds pause);
    void ShutDownPhone();

    MainDialogOptions options_;
    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts* prompts_ = nullptr;

    uint16_t linesShown_ = 0;
    std::unique_ptr<PhoneLink> phone_;
    QPoint pictureOrigin_;
    uint8_t zoom_ = 2;
    ConnectionSettings settings_{"COM1", 9600};
    std::optional<DisplayInfo> currentDisplay_;
    const DisplayBitmap* picture_ = nullptr;
    DisplayList displays_; // the entries behind the display list's items, by item position

    BuiltInPhone builtInPhone_;
    std::string builtInPhoneError_; // why the simulated phone could not be started, for the message
    QTimer pollTimer_;

    QComboBox* portList_ = nullptr;
    QComboBox* baudList_ = nullptr;
    QComboBox* displayList_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* readButton_ = nullptr;
    QWidget* pictureFrame_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QAction* copyAction_ = nullptr;
};

} // namespace panelgrab
