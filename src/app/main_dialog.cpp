#include "app/main_dialog.h"

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <limits>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/combo_selection.h"
#include "app/dialog_units.h"
#include "app/message_box_prompts.h"
#include "app/picture_image.h"
#include "app/system_menu.h"
#include "app/window_templates.h"
#include "capture/display_bitmap.h"
#include "transport/port_enumeration.h"
#include "transport/port_names.h"

namespace panelgrab {

namespace {

const QString kNotResponding = QStringLiteral("Phone is not responding on port ");
const QString kDisplayInfoFailed = QStringLiteral("Error: Could not read display info from phone");
const QString kNoDisplaySelected = QStringLiteral("No display selected!");
const QString kReadNotStarted = QStringLiteral("Error: AT command ZISI failed");
const QString kSaveTitle = QStringLiteral("Save reference image");
const QString kSaveFilter = QStringLiteral("Bitmap files (*.bmp)");
const QString kSaveError = QStringLiteral("Save Error");
const QString kSaveFailed = QStringLiteral("Could not save image");

int ClampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min() / 2,
                                                  std::numeric_limits<int>::max() / 2));
}

} // namespace

MainDialog::MainDialog(MainDialogOptions options, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      options_(std::move(options)), builtInPhone_(options_.simulatedPhone) {
    prompts_ = options_.prompts;
    if (!prompts_) {
        ownPrompts_ = std::make_unique<MessageBoxPrompts>();
        prompts_ = ownPrompts_.get();
    }
    settings_.SetTiming(options_.timing);
    connect(&pollTimer_, &QTimer::timeout, this, &MainDialog::OnTimer);
    BuildWindow();
    BuildActions();
    InitDialog();
}

MainDialog::~MainDialog() {
    ShutDownPhone();
}

QWidget* MainDialog::Control(int id) const {
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->property(kControlIdProperty).toInt() == id) {
            return child;
        }
    }
    return nullptr;
}

void MainDialog::BuildWindow() {
    setFont(DialogUnits::DialogFont());
    const DialogUnits units(font());
    setWindowTitle(QString::fromUtf8(kMainCaption));
    CreateControls(this, MainDialogControls(), units);
    portList_ = qobject_cast<QComboBox*>(Control(kIdPortList));
    baudList_ = qobject_cast<QComboBox*>(Control(kIdBaudList));
    displayList_ = qobject_cast<QComboBox*>(Control(kIdDisplayList));
    saveButton_ = qobject_cast<QPushButton*>(Control(kIdSave));
    readButton_ = qobject_cast<QPushButton*>(Control(kIdRead));
    pictureFrame_ = Control(kIdPictureFrame);

    // The template's initialisation data: filled before the dialog's own initialisation, unselected.
    for (const char* rate : OfferedBaudRates()) {
        baudList_->addItem(QString::fromLatin1(rate));
    }
    baudList_->setCurrentIndex(-1);
    resize(units.ToPixels(kMainDialogSize));

    connect(qobject_cast<QPushButton*>(Control(kIdQuit)), &QPushButton::clicked, this, &QDialog::accept);
    connect(qobject_cast<QPushButton*>(Control(kIdConnect)), &QPushButton::clicked, this,
            &MainDialog::OnConnect);
    connect(readButton_, &QPushButton::clicked, this, &MainDialog::OnRead);
    connect(saveButton_, &QPushButton::clicked, this, &MainDialog::OnSave);
    // Only the user's choice counts as a selection change, not the list being refilled.
    connect(displayList_, &QComboBox::activated, this, &MainDialog::OnDisplaySelChange);
}

void MainDialog::BuildActions() {
    aboutAction_ = new QAction(QStringLiteral("&About Panelgrab..."), this);
    aboutAction_->setObjectName(QStringLiteral("aboutAction"));
    connect(aboutAction_, &QAction::triggered, this, &MainDialog::OnAbout);

    copyAction_ = new QAction(QStringLiteral("Copy image"), this);
    copyAction_->setObjectName(QStringLiteral("copyImageAction"));
    copyAction_->setShortcut(QKeySequence::Copy);
    copyAction_->setShortcutContext(Qt::WindowShortcut);
    connect(copyAction_, &QAction::triggered, this, &MainDialog::OnCopyImage);
    addAction(copyAction_); // so Ctrl+C works without the menu
}

void MainDialog::InitDialog() {
    AddAboutToSystemMenu(*this, aboutAction_->text());
    setWindowIcon(AppIcon());
    pictureOrigin_ = pictureFrame_->geometry().topLeft();
    setWindowTitle(QString::fromUtf8(kTitleNotConnected));
    if (baudList_->currentIndex() < 0 &&
        SelectFirstWithPrefix(*baudList_, QString::number(settings_.GetBaudRate())) < 0 &&
        baudList_->count() > 0) {
        baudList_->setCurrentIndex(0);
    }
    FillPortList();
    SetCaptureControlsEnabled(false);
    portList_->setFocus();
}

void MainDialog::FillPortList() {
    portList_->clear();
    // Shown with what the port is; the item's data is the path that is opened.
    for (const PortInfo& port : options_.listPorts()) {
        QString text = QString::fromStdString(port.path);
        if (!port.description.empty()) {
            text += QStringLiteral(" \u2014 ") + QString::fromStdString(port.description);
        }
        portList_->addItem(text, QString::fromStdString(port.path));
    }
    portList_->addItem(QString::fromUtf8(BuiltInPhone::kPortEntry));
    // The descriptions may be wider than the list box; the open list shows them whole.
    portList_->view()->setMinimumWidth(portList_->view()->sizeHintForColumn(0));
    portList_->setCurrentIndex(-1);
    const QString remembered = QString::fromStdString(settings_.GetPortName());
    if (const int exact = portList_->findData(remembered); exact >= 0) {
        portList_->setCurrentIndex(exact);
    } else if (SelectFirstWithPrefix(*portList_, remembered) < 0 && portList_->count() > 0) {
        portList_->setCurrentIndex(0);
    }
}

void MainDialog::TakeSettingsFromLists() {
    if (portList_->currentIndex() >= 0) {
        // Entries without data (the simulated phone's) are named by their text.
        const QString path = portList_->currentData().toString();
        settings_.SetPortName((path.isEmpty() ? portList_->currentText() : path).toStdString());
    }
    if (baudList_->currentIndex() >= 0) {
        settings_.SetBaudRate(LeadingDecimal(baudList_->currentText()));
    }
}

void MainDialog::SetCaptureControlsEnabled(bool enabled) {
    readButton_->setEnabled(enabled);
    saveButton_->setEnabled(enabled);
    displayList_->setEnabled(enabled);
}

// ---- Connect ----

void MainDialog::OnConnect() {
    TakeSettingsFromLists();
    saveButton_->setEnabled(false);
    ProbePhone();
    OnDisplaySelChange();
}

void MainDialog::ProbePhone() {
    displayList_->setEnabled(false);
    displayList_->clear();
    if (phone_) {
        ReleasePhone();
    }
    if (!OpenNewPhone()) {
        ReportNotResponding();
        setWindowTitle(QString::fromUtf8(kTitleNotConnected));
    } else {
        setWindowTitle(ConnectedTitle());
        DisplayList displays;
        if (phone_->GetDisplayList(displays) != kPhoneOk) {
            prompts_->ShowMessage(this, kDisplayInfoFailed, QString());
        } else {
            FillDisplayList(std::move(displays));
            setWindowTitle(ConnectedTitle());
        }
    }
    // Connect keeps no connection: every Read opens its own.
    if (phone_) {
        phone_->Close();
        phone_.reset();
    }
}

void MainDialog::FillDisplayList(DisplayList displays) {
    displayList_->clear();
    displays_ = std::move(displays);
    for (std::size_t i = 0; i < displays_.size(); ++i) {
        const DisplayInfo& entry = displays_[i];
        displayList_->addItem(
            QStringLiteral("Screen %1 (%2x%3)").arg(i + 1).arg(entry.width).arg(entry.height),
            QVariant::fromValue(static_cast<qulonglong>(i)));
    }
    displayList_->setCurrentIndex(displays_.empty() ? -1 : 0);
    if (displays_.empty()) {
        currentDisplay_.reset();
    } else {
        currentDisplay_ = displays_.front();
    }
    displayList_->setEnabled(true);
    readButton_->setEnabled(true);
}

void MainDialog::OnDisplaySelChange() {
    saveButton_->setEnabled(false);
    const int index = displayList_->currentIndex();
    if (index < 0) {
        currentDisplay_.reset();
        return;
    }
    const qulonglong entry = displayList_->itemData(index).toULongLong();
    if (entry < displays_.size()) {
        currentDisplay_ = displays_[entry];
        FitPictureFrame(currentDisplay_->width, currentDisplay_->height);
    } else {
        currentDisplay_.reset();
    }
    picture_ = nullptr;
    repaint();
}

void MainDialog::ReleasePhone() {
    picture_ = nullptr;
    // Taken out of the member first: a timer tick during the pause must find no phone object and so
    // cannot fetch a picture that is about to be destroyed.
    std::unique_ptr<PhoneLink> released = std::move(phone_);
    if (!released) {
        return;
    }
    released->Close();
    WaitProcessingEvents(options_.releasePause);
    released.reset(); // ends its read job and joins the worker
}

void MainDialog::WaitProcessingEvents(std::chrono::milliseconds pause) {
    if (pause.count() <= 0) {
        return;
    }
    // The window keeps painting during the pause, but takes no clicks that could start another
    // Connect or Read half-way through this one.
    QEventLoop loop;
    QTimer::singleShot(pause, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

std::unique_ptr<PhoneLink> MainDialog::MakePhone() {
    builtInPhoneError_.clear();
    ConnectionSettings settings = settings_;
    if (BuiltInPhone::IsPortEntry(settings.GetPortName())) {
        const std::string path = builtInPhone_.DevicePathFor(settings.GetBaudRate(), builtInPhoneError_);
        if (path.empty()) {
            return nullptr;
        }
        settings.SetPortName(path);
    }
    return options_.createPhone ? options_.createPhone(settings) : nullptr;
}

bool MainDialog::OpenNewPhone() {
    phone_ = MakePhone();
    return phone_ && phone_->Open(false) == kPhoneOk;
}

void MainDialog::ReportNotResponding() {
    QString reason;
    if (phone_ && phone_->Port().systemError() != 0) {
        reason = QString::fromStdString(DescribeSystemError(phone_->Port().systemError()));
    } else if (!builtInPhoneError_.empty()) {
        reason = QString::fromStdString(builtInPhoneError_);
    }
    prompts_->ShowMessage(this, kNotResponding + QString::fromStdString(settings_.GetPortName()), reason);
}

QString MainDialog::ConnectedTitle() const {
    return QStringLiteral("Panelgrab - %1 %2")
        .arg(QString::fromStdString(settings_.GetPortName()))
        .arg(settings_.GetBaudRate());
}

// ---- Read ----

void MainDialog::OnRead() {
    TakeSettingsFromLists();
    SetCaptureControlsEnabled(false);
    // A timer left running by a Connect during an earlier read would find a refused Read's phone
    // object, take it for a finished read and enable the controls again.
    pollTimer_.stop();
    linesShown_ = 0;
    const int index = displayList_->currentIndex();
    const qulonglong entry = index < 0 ? displays_.size() : displayList_->itemData(index).toULongLong();
    if (entry >= displays_.size()) {
        prompts_->ShowMessage(this, kNoDisplaySelected, QString());
        return;
    }
    currentDisplay_ = displays_[entry];
    FitPictureFrame(currentDisplay_->width, currentDisplay_->height);
    picture_ = nullptr;
    repaint();
    if (phone_) {
        ReleasePhone();
    }
    if (!OpenNewPhone()) {
        ReportNotResponding();
        setWindowTitle(QString::fromUtf8(kTitleNotConnected));
        return;
    }
    setWindowTitle(ConnectedTitle());
    if (phone_->StartScreenRead(*currentDisplay_) != kPhoneOk) {
        prompts_->ShowMessage(this, kReadNotStarted, QString());
        return;
    }
    pollTimer_.start(options_.pollPeriod);
}

uint32_t MainDialog::CompleteLines(int32_t progress) const {
    // A display that claims lines of no characters has no complete line to show while it arrives.
    if (progress <= 0 || !currentDisplay_ || currentDisplay_->lineLength == 0) {
        return 0;
    }
    return static_cast<uint32_t>(progress) / currentDisplay_->lineLength;
}

void MainDialog::OnTimer() {
    if (!phone_ || !currentDisplay_) {
        return; // Connect released the read's phone object
    }
    if (!phone_->IsReadRunning()) {
        FinishRead();
        return;
    }
    const uint32_t lines = CompleteLines(phone_->GetReadProgress());
    if (lines <= linesShown_) {
        return;
    }
    if (phone_->GetReadProgress() <= 0) {
        return;
    }
    if (phone_->GetReadImage(picture_) != kPhoneOk) {
        return;
    }
    RedrawBand(linesShown_, lines);
    linesShown_ = static_cast<uint16_t>(lines);
}

void MainDialog::FinishRead() {
    pollTimer_.stop();
    phone_->Close(); // kept: its read job owns the picture
    uint32_t lines = CompleteLines(phone_->GetReadProgress());
    if (currentDisplay_->lineLength == 0) {
        lines = currentDisplay_->height; // no line count to go by: show everything there is
    }
    if (phone_->GetReadImage(picture_) == kPhoneOk) {
        RedrawBand(linesShown_, lines);
    }
    // A picture that ended short says why in the title, and what arrived can still be saved; a
    // whole picture ends silently.
    if (const std::string failure = phone_->GetReadFailure(); !failure.empty()) {
        setWindowTitle(ConnectedTitle() + QStringLiteral(" - picture incomplete: ") +
                       QString::fromStdString(failure));
    }
    SetCaptureControlsEnabled(true);
}

void MainDialog::RedrawBand(uint32_t fromLine, uint32_t toLine) {
    // The lines that arrived since the last drawing plus the one arriving now.
    const long long top = pictureOrigin_.y() + static_cast<long long>(zoom_) * fromLine;
    const long long bottom = pictureOrigin_.y() + static_cast<long long>(zoom_) * (toLine + 1LL);
    const long long width = static_cast<long long>(zoom_) * currentDisplay_->width;
    if (bottom <= top || width <= 0) {
        return;
    }
    repaint(QRect(pictureOrigin_.x(), ClampToInt(top), ClampToInt(width), ClampToInt(bottom - top)));
}

void MainDialog::FitPictureFrame(int width, int height) {
    const QRect before = pictureFrame_->geometry();
    pictureFrame_->setGeometry(before.x(), before.y(), ClampToInt(static_cast<long long>(zoom_) * width + 1),
                               ClampToInt(static_cast<long long>(zoom_) * height + 1));
    update(before.united(pictureFrame_->geometry()));
}

void MainDialog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect frame = pictureFrame_->geometry();
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    if (picture_ && currentDisplay_) {
        // The picture's corner lies on the frame's corner, covering its top and left line.
        PaintPicture(painter, *picture_, frame.topLeft(), zoom_);
    }
}

// ---- Save, copy, menu, close ----

void MainDialog::OnSave() {
    if (!picture_) {
        // The read ended without a picture that could be made: there is nothing to write.
        prompts_->ShowError(this, kSaveError, kSaveFailed);
        return;
    }
    const QString path = prompts_->AskSaveFileName(this, kSaveTitle, kSaveFilter, QStringLiteral("bmp"));
    if (path.isEmpty()) {
        return;
    }
    if (!picture_->WriteBmpFile(path.toStdString())) {
        prompts_->ShowError(this, kSaveError, kSaveFailed);
    }
}

void MainDialog::OnCopyImage() {
    if (!picture_) {
        return;
    }
    const QImage image = PictureImage(*picture_);
    if (!image.isNull()) {
        // A converted copy: the clipboard must not hold rows the read job owns.
        QGuiApplication::clipboard()->setImage(image.convertToFormat(QImage::Format_RGB32));
    }
}

void MainDialog::OnAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    copyAction_->setEnabled(picture_ != nullptr);
    QMenu menu(this);
    menu.addAction(copyAction_);
    menu.addSeparator();
    menu.addAction(aboutAction_);
    menu.exec(event->globalPos());
    copyAction_->setEnabled(true); // Ctrl+C checks for a picture itself
}

bool MainDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (IsAboutSystemCommand(eventType, message)) {
        OnAbout();
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}

void MainDialog::done(int result) {
    // Closing ends a running read: destroying the phone object closes its port and joins the worker.
    ShutDownPhone();
    QDialog::done(result);
}

void MainDialog::ShutDownPhone() {
    pollTimer_.stop();
    picture_ = nullptr;
    phone_.reset();
}

} // namespace panelgrab
