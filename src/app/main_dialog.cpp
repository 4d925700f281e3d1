#include "app/main_dialog.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <limits>
#include <thread>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/combo_selection.h"
#include "app/dialog_units.h"
#include "app/message_box_prompts.h"
#include "app/picture_area.h"
#include "app/picture_frame.h"
#include "app/picture_image.h"
#include "app/refreshing_combo_box.h"
#include "app/remembered_connection.h"
#include "app/save_name.h"
#include "app/system_menu.h"
#include "app/window_templates.h"
#include "common/atomic_file.h"
#include "common/image/picture_file_writer.h"
#include "session/grab_progress.h"
#include "session/ports.h"

namespace panelgrab {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const QString kNoDisplaySelected = QStringLiteral("No display selected!");
const QString kSaveTitle = QStringLiteral("Save reference image");
const QString kSaveFilters = QStringLiteral("Bitmap files (*.bmp);;PNG images (*.png)");
const QString kSaveError = QStringLiteral("Save Error");
const QString kSaveFailed = QStringLiteral("Could not save image");
const QString kRecordTitle = QStringLiteral("Record the live view");
const QString kRecordFilters = QStringLiteral("Animated PNG images (*.png)");
const QString kRecordError = QStringLiteral("Record Error");
const QString kRecordText = QStringLiteral("Record...");
const QString kStopRecordingText = QStringLiteral("Stop recording");
// The window's own controls in the advice the failure texts give.
// The window cannot open a port that another program holds.
const FailureWording kWording{"the port list", "the baud list", ""};
const QString kPortToolTip =
    QStringLiteral("The phone's serial port. Type tcp://HOST:PORT or rfc2217://HOST:PORT for a port on "
                   "another machine, or sim:OPTIONS (e.g. sim:--animate) for a simulated phone with the "
                   "simulator's options, as panelgrab-cli --port takes them.");

// An estimate from the baud rate is shown before the first lines only for a read this long.
constexpr double kLongReadSeconds = 60;
constexpr milliseconds kCallTick{200};

int ClampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min() / 2,
                                                  std::numeric_limits<int>::max() / 2));
}

int FrameSide(int zoom, int pixels) {
    return static_cast<int>(
        std::clamp<long long>(static_cast<long long>(zoom) * pixels + 1, 1, QWIDGETSIZE_MAX));
}

QString Duration(double seconds) {
    return QString::fromStdString(FormatDuration(seconds));
}

QString FramesText(std::size_t frames) {
    return frames == 1 ? QStringLiteral("1 frame") : QStringLiteral("%1 frames").arg(frames);
}

QString ShownPath(const std::string& path) {
    return QDir::toNativeSeparators(QFile::decodeName(path.c_str()));
}

} // namespace

// What one phone call works on: handed to the worker whole and read back in its end handler.
struct PhoneJob {
    std::unique_ptr<Session> released; // an earlier session, closed and destroyed by the call
    milliseconds releasePause{0};      // between closing and destroying it
    std::unique_ptr<Session> session;  // the new one, opened by the call and handed back
    bool reopen = false;               // Live view: the read's session opens its port again
    bool listDisplays = false;         // Connect: ask for the display list, then close again
    bool opened = false;
    int32_t foundBaud = 0; // the rate the session opened at (found by a search, or the one chosen)
    DisplayList displays;
    std::optional<Failure> failure; // why the open or the list failed

    void Run() {
        if (released) {
            released->Close();
            std::this_thread::sleep_for(releasePause);
            released.reset(); // ends its handles' work and joins their workers
        }
        if (!session) {
            return;
        }
        const Result<void> open = reopen ? session->Reopen() : session->Open();
        opened = open.ok();
        if (!opened) {
            failure = open.failure();
            return;
        }
        foundBaud = session->BaudRate();
        if (listDisplays) {
            if (Result<DisplayList> listed = session->Displays()) {
                displays = std::move(*listed);
            } else {
                failure = listed.failure();
            }
            session->Close();
        }
    }
};

MainDialog::MainDialog(MainDialogOptions options, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      options_(std::move(options)), builtInPhone_(options_.simulatedPhone) {
    prompts_ = options_.prompts;
    if (!prompts_) {
        ownPrompts_ = std::make_unique<MessageBoxPrompts>();
        prompts_ = ownPrompts_.get();
    }
    connect(&pollTimer_, &QTimer::timeout, this, &MainDialog::OnTimer);
    callTimer_.setInterval(kCallTick);
    connect(&callTimer_, &QTimer::timeout, this, &MainDialog::OnCallTick);
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

PictureFrame* MainDialog::PictureFrameWidget() const {
    return pictureArea_->Frame();
}

QPoint MainDialog::PictureOrigin() const {
    return pictureArea_->geometry().topLeft();
}

void MainDialog::BuildWindow() {
    setFont(DialogUnits::DialogFont());
    const DialogUnits units(font());
    setWindowTitle(QString::fromUtf8(kMainCaption));
    CreateControls(this, MainDialogControls(), units);
    portList_ = qobject_cast<RefreshingComboBox*>(Control(kIdPortList));
    baudList_ = qobject_cast<QComboBox*>(Control(kIdBaudList));
    displayList_ = qobject_cast<QComboBox*>(Control(kIdDisplayList));
    connectButton_ = qobject_cast<QPushButton*>(Control(kIdConnect));
    saveButton_ = qobject_cast<QPushButton*>(Control(kIdSave));
    readButton_ = qobject_cast<QPushButton*>(Control(kIdRead));
    liveButton_ = qobject_cast<QPushButton*>(Control(kIdLiveView));
    stopButton_ = qobject_cast<QPushButton*>(Control(kIdStop));
    recordButton_ = qobject_cast<QPushButton*>(Control(kIdRecord));
    statusLine_ = qobject_cast<QLabel*>(Control(kIdStatusLine));
    pictureArea_ = qobject_cast<PictureArea*>(Control(kIdPictureFrame));
    areaTemplate_ = pictureArea_->geometry();
    statusTemplate_ = statusLine_->geometry();

    // The template's initialisation data: filled before the dialog's own initialisation, unselected.
    for (const char* rate : OfferedBaudRates()) {
        baudList_->addItem(QString::fromLatin1(rate));
    }
    baudList_->addItem(QString::fromLatin1(kAutoBaudEntry));
    baudList_->setCurrentIndex(-1);
    const QSize size = units.ToPixels(kMainDialogSize);
    areaMargin_ = QSize(size.width() - areaTemplate_.right() - 1, size.height() - areaTemplate_.bottom() - 1);
    statusMargin_ =
        QSize(size.width() - statusTemplate_.right() - 1, size.height() - statusTemplate_.bottom() - 1);
    userSize_ = size;
    fittedSize_ = size;
    resize(size);

    connect(qobject_cast<QPushButton*>(Control(kIdQuit)), &QPushButton::clicked, this, &QDialog::accept);
    connect(connectButton_, &QPushButton::clicked, this, &MainDialog::OnConnect);
    connect(readButton_, &QPushButton::clicked, this, &MainDialog::OnRead);
    connect(saveButton_, &QPushButton::clicked, this, &MainDialog::OnSave);
    connect(liveButton_, &QPushButton::clicked, this, &MainDialog::SetLiveView);
    connect(stopButton_, &QPushButton::clicked, this, &MainDialog::Stop);
    connect(recordButton_, &QPushButton::clicked, this, &MainDialog::OnRecord);
    // Only the user's choice counts as a selection change, not the list being refilled.
    connect(displayList_, &QComboBox::activated, this, &MainDialog::OnDisplaySelChange);
    portList_->SetRefresher([this] { OnPortListOpening(); });
    connect(portList_, &RefreshingComboBox::enterPressed, this, &MainDialog::OnConnect);
    // The field is narrow: a long URL is read whole in the tooltip.
    const auto describePort = [this](const QString& text) {
        portList_->setToolTip(text.isEmpty() ? kPortToolTip : text + QStringLiteral("\n\n") + kPortToolTip);
    };
    connect(portList_, &QComboBox::currentTextChanged, this, describePort);
    describePort(QString());
    connect(displayList_, &QComboBox::currentTextChanged, displayList_, &QWidget::setToolTip);
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

    // Esc is handled by keyPressEvent, which lets it close the window when nothing runs.
    stopAction_ = new QAction(QStringLiteral("Stop\tEsc"), this);
    stopAction_->setObjectName(QStringLiteral("stopAction"));
    stopAction_->setEnabled(false);
    connect(stopAction_, &QAction::triggered, this, &MainDialog::Stop);

    liveAction_ = new QAction(QStringLiteral("Live view"), this);
    liveAction_->setObjectName(QStringLiteral("liveViewAction"));
    liveAction_->setCheckable(true);
    liveAction_->setEnabled(false);
    connect(liveAction_, &QAction::triggered, this, &MainDialog::SetLiveView);

    recordAction_ = new QAction(kRecordText, this);
    recordAction_->setObjectName(QStringLiteral("recordAction"));
    recordAction_->setEnabled(false);
    connect(recordAction_, &QAction::triggered, this, &MainDialog::OnRecord);

    zoomActions_ = new QActionGroup(this);
    for (const int zoom : kZoomFactors) {
        QAction* action = zoomActions_->addAction(QStringLiteral("Zoom %1x").arg(zoom));
        action->setObjectName(QStringLiteral("zoom%1Action").arg(zoom));
        action->setCheckable(true);
        action->setChecked(zoom == zoom_);
        action->setData(zoom);
        connect(action, &QAction::triggered, this, [this, zoom] { SetZoom(zoom); });
    }
}

void MainDialog::InitDialog() {
    AddAboutToSystemMenu(*this, aboutAction_->text());
    setWindowIcon(AppIcon());
    setWindowTitle(QString::fromUtf8(kTitleNotConnected));
    LoadRememberedConnection();
    if (autoBaud_) {
        baudList_->setCurrentIndex(baudList_->findText(QString::fromLatin1(kAutoBaudEntry)));
    }
    if (baudList_->currentIndex() < 0 && SelectFirstWithPrefix(*baudList_, QString::number(baud_)) < 0 &&
        baudList_->count() > 0) {
        baudList_->setCurrentIndex(0);
    }
    FillPortList();
    UpdateControls();
    portList_->setFocus();
}

// ---- Port list ----

void MainDialog::LoadRememberedConnection() {
    if (const std::optional<RememberedConnection> last = RememberedConnection::Load()) {
        portName_ = last->port.toStdString();
        if (last->autoBaud) {
            autoBaud_ = true; // the rate is found again at the next Connect
        } else {
            baud_ = last->baudRate;
        }
        remembered_ = true;
    }
}

void MainDialog::RefillPortItems() {
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
}

QString MainDialog::PortOfEntry(int index) const {
    // Entries without data (the simulated phone's) are named by their text.
    const QString path = portList_->itemData(index).toString();
    return path.isEmpty() ? portList_->itemText(index) : path;
}

bool MainDialog::SelectPortEntry(const QString& port) {
    int index = portList_->findData(port);
    if (index < 0) {
        index = portList_->findText(port);
    }
    if (index >= 0) {
        portList_->setCurrentIndex(index);
    }
    return index >= 0;
}

void MainDialog::FillPortList() {
    RefillPortItems();
    const QString wanted = QString::fromStdString(portName_);
    if (SelectPortEntry(wanted)) {
        return;
    }
    if (remembered_) {
        portList_->setEditText(wanted); // a network URL, or a port that is not plugged in now
    } else if (SelectFirstWithPrefix(*portList_, wanted) < 0 && portList_->count() > 0) {
        portList_->setCurrentIndex(0);
    }
}

void MainDialog::OnPortListOpening() {
    const QString typed = portList_->currentText().trimmed();
    const int index = portList_->findText(typed);
    const QString port = index >= 0 ? PortOfEntry(index) : typed;
    RefillPortItems();
    if (!SelectPortEntry(port) && !port.isEmpty()) {
        portList_->setEditText(port);
    }
}

void MainDialog::TakeSettingsFromLists() {
    const QString typed = portList_->currentText().trimmed();
    if (!typed.isEmpty()) {
        const int index = portList_->findText(typed);
        portName_ = (index >= 0 ? PortOfEntry(index) : typed).toStdString();
    }
    // With "auto" the rate the last Connect found stays in use.
    if (baudList_->currentIndex() >= 0) {
        autoBaud_ = baudList_->currentText() == QLatin1String(kAutoBaudEntry);
    }
    if (baudList_->currentIndex() >= 0 && !autoBaud_) {
        baud_ = LeadingDecimal(baudList_->currentText());
        rateFound_ = false;
    }
    RememberedConnection{QString::fromStdString(portName_), baud_, autoBaud_}.Store();
}

void MainDialog::UpdateControls() {
    const bool idle = !call_.IsRunning();
    connectButton_->setEnabled(idle);
    // Read needs the display list that a Connect brought; neither is usable while a read runs.
    const bool capture = idle && !reading_ && listUsable_;
    displayList_->setEnabled(capture);
    readButton_->setEnabled(capture);
    saveButton_->setEnabled(idle && !reading_ && saveUsable_);
    const bool opening =
        !idle && (pending_ == Pending::Search || pending_ == Pending::Read || pending_ == Pending::Live);
    stopAction_->setEnabled(reading_ || live_ || opening);
    stopButton_->setEnabled(stopAction_->isEnabled());
    // Live view needs a finished read's phone object and display; it is on until turned off.
    liveAction_->setEnabled(live_ || (idle && !reading_ && saveUsable_ && session_ && currentDisplay_));
    liveAction_->setChecked(live_ || (!idle && pending_ == Pending::Live));
    liveButton_->setEnabled(liveAction_->isEnabled());
    liveButton_->setChecked(liveAction_->isChecked());
    // Record starts the live view if need be; while recording it stops the recording.
    recordAction_->setText(recording_ ? kStopRecordingText : kRecordText);
    recordAction_->setEnabled(recording_ || liveAction_->isEnabled());
    recordButton_->setText(recordAction_->text());
    recordButton_->setEnabled(recordAction_->isEnabled());
    if (idle) {
        unsetCursor();
    } else {
        setCursor(Qt::BusyCursor);
    }
}

void MainDialog::ShowStatus(const QString& text) {
    statusLine_->setText(text);
}

QString MainDialog::StatusText() const {
    return statusLine_->text();
}

void MainDialog::Warn(const QString& text, const QString& detail) {
    ShowStatus(detail.isEmpty() ? text : text + QStringLiteral(": ") + detail);
    prompts_->ShowMessage(this, text, detail);
}

void MainDialog::Warn(const Failure& failure) {
    Warn(QString::fromStdString(FailureMessage(failure)));
}

std::string MainDialog::PortLabel() const {
    // A simulated phone is named with the terminal it serves: a typed "sim:OPTIONS" as the session
    // names one ("sim (/dev/pts/4)"), so every face says the same; the list's entry by its own name.
    if (BuiltInPhone::IsPortEntry(portName_) && !builtInPhoneDevice_.empty()) {
        const std::string name = portName_ == BuiltInPhone::kPortEntry ? portName_ : "sim";
        return name + " (" + builtInPhoneDevice_ + ")";
    }
    return portName_;
}

// ---- Phone calls ----

std::unique_ptr<Session> MainDialog::MakeSession(bool findRate) {
    SessionOptions options;
    options.port = portName_;
    options.baud = baud_;
    options.baudAuto = findRate;
    options.wording = kWording;
    PortOverrides overrides{options_.timing, {}, options_.createPhone};
    // A phone still sending a dropped picture keeps the line busy: the open's drain waits it out.
    const milliseconds busy = LineBusyFor(portName_);
    callWaitsUntil_ = Clock::now() + busy;
    overrides.timing->drainLimit = std::max(overrides.timing->drainLimit, busy);
    if (BuiltInPhone::IsPortEntry(portName_)) {
        builtInPhoneError_.clear();
        builtInPhoneDevice_ = builtInPhone_.DevicePathFor(portName_, baud_, builtInPhoneError_);
        if (builtInPhoneDevice_.empty()) {
            return nullptr;
        }
        options.port = builtInPhoneDevice_;
        overrides.label = PortLabel();
    }
    // Said on the call's worker once a search has found the rate; the window takes it on its thread.
    options.notice = [this](const std::string&) {
        QMetaObject::invokeMethod(
            this, [this] { OnRateFound(); }, Qt::QueuedConnection);
    };
    return std::make_unique<Session>(std::move(options), std::move(overrides));
}

void MainDialog::StartPhoneCall(Pending pending, const std::shared_ptr<PhoneJob>& job) {
    pending_ = pending;
    callOff_ = false;
    callSession_ = job->session.get();
    titleBeforeCall_ = windowTitle();
    const auto finish = [this, job, pending] {
        if (pending == Pending::Search || pending == Pending::Connect) {
            FinishConnect(*job);
        } else if (pending == Pending::Live) {
            FinishLiveOpen(*job);
        } else {
            FinishReadOpen(*job);
        }
    };
    if (!call_.Start([job] { job->Run(); }, finish)) {
        job->Run(); // no thread to be had: the window waits, as it did before
        finish();
        return;
    }
    ShowCallTitle();
    callTimer_.start();
    UpdateControls();
}

void MainDialog::EndPhoneCall() {
    callTimer_.stop();
    pending_ = Pending::None;
    callSession_ = nullptr;
    callWaitsUntil_ = {};
}

void MainDialog::OnRateFound() {
    // A notice of a call that has ended since, or of a phone still sending, is not the rate.
    if (pending_ == Pending::Search) {
        pending_ = Pending::Connect;
        UpdateControls();
    }
}

void MainDialog::ShowCallTitle() {
    const auto now = Clock::now();
    if (now < callWaitsUntil_) {
        const double left = std::chrono::duration<double>(callWaitsUntil_ - now).count();
        setWindowTitle(QStringLiteral("Panelgrab - waiting for the phone to finish sending (at most %1)")
                           .arg(Duration(left)));
        ShowStatus(QStringLiteral("Waiting for the phone to finish sending the picture that was stopped (at "
                                  "most %1)...")
                       .arg(Duration(left)));
        return;
    }
    const QString port = QString::fromStdString(portName_);
    if (pending_ == Pending::Search) {
        setWindowTitle(QStringLiteral("Panelgrab - finding the baud rate of %1...").arg(port));
        ShowStatus(QStringLiteral("Trying the baud rates on %1, %2 down to %3...")
                       .arg(port)
                       .arg(BaudSearch::Rates().front())
                       .arg(BaudSearch::Rates().back()));
        return;
    }
    setWindowTitle(QStringLiteral("Panelgrab - opening %1 at %2 baud...").arg(port).arg(baud_));
    ShowStatus(QStringLiteral("Opening %1 at %2 baud...").arg(port).arg(baud_));
}

void MainDialog::OnCallTick() {
    ShowCallTitle();
    // A stop can come before the open has the port to close: it is repeated until the call ends.
    if (callOff_ && callSession_) {
        callSession_->Abort();
    }
}

std::chrono::milliseconds MainDialog::LineBusyFor(const std::string& portName) const {
    const auto now = Clock::now();
    if (portName != lineBusyPort_ || now >= lineBusyUntil_) {
        return milliseconds(0);
    }
    // Plus the read wait by which the drain sees the line fall quiet.
    return std::chrono::ceil<milliseconds>(lineBusyUntil_ - now) + options_.timing.readWait;
}

void MainDialog::NoteLineBusy() {
    // The read's session judged, when it stopped the transfer, how long the rest will take.
    lineBusyUntil_ = session_ ? session_->QuietAt() : Clock::time_point{};
    lineBusyPort_ = readPort_;
}

void MainDialog::ReportOpenFailure(const Failure& failure) {
    setWindowTitle(QString::fromUtf8(kTitleNotConnected));
    UpdateControls();
    Warn(failure);
}

QString MainDialog::ConnectedTitle() const {
    return QStringLiteral("Panelgrab - %1 %2 baud").arg(QString::fromStdString(portName_)).arg(baud_);
}

QString MainDialog::DisplayLabel() const {
    if (!currentDisplay_) {
        return QString();
    }
    const int index = displayList_->currentIndex();
    return index >= 0 ? displayList_->itemText(index)
                      : QStringLiteral("the display (%1x%2)")
                            .arg(currentDisplay_->width)
                            .arg(currentDisplay_->height);
}

// ---- Connect ----

void MainDialog::OnConnect() {
    if (call_.IsRunning()) {
        return;
    }
    TakeSettingsFromLists();
    EndLiveView();
    saveUsable_ = false;
    listUsable_ = false;
    displayList_->clear();
    displays_.clear();
    DropRunningRead();
    // With "auto" the session tries the rates on the port before it opens at the one found.
    const std::shared_ptr<PhoneJob> job = NewSessionJob(autoBaud_);
    job->listDisplays = true;
    StartPhoneCall(autoBaud_ && job->session ? Pending::Search : Pending::Connect, job);
}

void MainDialog::DropRunningRead() {
    if (reading_ && read_ && currentDisplay_) {
        read_->Stop();
        NoteLineBusy();
    }
    read_.reset();
    reading_ = false;
    pollTimer_.stop();
    DropPicture();
    PictureFrameWidget()->update();
}

void MainDialog::FinishConnect(PhoneJob& job) {
    const bool searched = autoBaud_;
    const bool searchStopped = pending_ == Pending::Search && callOff_;
    EndPhoneCall();
    if (searchStopped) {
        callOff_ = false;
        setWindowTitle(QString::fromUtf8(kTitleNotConnected));
        ShowStatus(QStringLiteral("The search for the baud rate was stopped."));
        UpdateControls();
        return;
    }
    if (searched && job.foundBaud != 0) {
        baud_ = job.foundBaud;
        rateFound_ = true;
    }
    QStringList refused;
    if (!job.opened) {
        setWindowTitle(QString::fromUtf8(kTitleNotConnected));
    } else {
        setWindowTitle(ConnectedTitle());
        if (!job.failure) {
            refused = FillDisplayList(std::move(job.displays));
        }
    }
    OnDisplaySelChange();
    UpdateControls();
    if (job.failure) {
        Warn(*job.failure);
    } else if (!refused.isEmpty()) {
        Warn(QString::fromUtf8(DisplayTooLargeText()),
             QStringLiteral("Left out of the display list: ") + refused.join(QStringLiteral(", ")) + ".");
    } else {
        ShowStatus(
            QStringLiteral("The phone answers on %1 at %2 baud%3 and lists %4 display(s): choose one "
                           "and press Read.")
                .arg(QString::fromStdString(portName_))
                .arg(baud_)
                .arg(autoBaud_ && rateFound_ ? QStringLiteral(" (the rate found by trying each)") : QString())
                .arg(displays_.size()));
    }
    job.session.reset(); // Connect keeps no connection: every Read opens its own
}

QStringList MainDialog::FillDisplayList(DisplayList displays) {
    displayList_->clear();
    displays_ = std::move(displays);
    QStringList refused;
    for (std::size_t i = 0; i < displays_.size(); ++i) {
        const DisplayInfo& entry = displays_[i];
        const QString label =
            QStringLiteral("Screen %1 (%2x%3)").arg(i + 1).arg(entry.width).arg(entry.height);
        // A display too large to read would only make a frame larger than any screen.
        if (!IsReadableDisplay(entry)) {
            refused << label;
            continue;
        }
        displayList_->addItem(label, QVariant::fromValue(static_cast<qulonglong>(i)));
    }
    displayList_->view()->setMinimumWidth(displayList_->view()->sizeHintForColumn(0));
    displayList_->setCurrentIndex(displayList_->count() > 0 ? 0 : -1);
    // Usable also when the phone describes no display (Read then says so), but not when every
    // display it describes was refused.
    listUsable_ = displays_.empty() || displayList_->count() > 0;
    return refused;
}

void MainDialog::OnDisplaySelChange() {
    saveUsable_ = false;
    UpdateControls();
    const int index = displayList_->currentIndex();
    if (index < 0) {
        currentDisplay_.reset();
        return;
    }
    const qulonglong entry = displayList_->itemData(index).toULongLong();
    DropPicture();
    if (entry < displays_.size()) {
        currentDisplay_ = displays_[entry];
        FitPictureFrame(currentDisplay_->width, currentDisplay_->height);
    } else {
        currentDisplay_.reset();
    }
    PictureFrameWidget()->repaint();
}

// ---- Read ----

void MainDialog::OnRead() {
    if (call_.IsRunning() || reading_) {
        return;
    }
    EndLiveView();
    TakeSettingsFromLists();
    // Refused below, the list and Read stay disabled until a Connect lists the displays again.
    listUsable_ = false;
    saveUsable_ = false;
    linesShown_ = 0;
    UpdateControls();
    const int index = displayList_->currentIndex();
    const qulonglong entry = index < 0 ? displays_.size() : displayList_->itemData(index).toULongLong();
    if (entry >= displays_.size()) {
        Warn(kNoDisplaySelected);
        return;
    }
    // The picture shown stays until the new read begins, when it is of the same display.
    if (!currentDisplay_ || !(*currentDisplay_ == displays_[entry])) {
        DropPicture();
    }
    currentDisplay_ = displays_[entry];
    FitPictureFrame(currentDisplay_->width, currentDisplay_->height);
    PictureFrameWidget()->repaint();
    StartPhoneCall(Pending::Read, NewSessionJob(false));
}

std::shared_ptr<PhoneJob> MainDialog::NewSessionJob(bool findRate) {
    auto job = std::make_shared<PhoneJob>();
    job->released = std::move(session_);
    job->releasePause = options_.releasePause;
    job->session = MakeSession(findRate);
    if (!job->session) {
        job->failure =
            FailureOf(FailureKind::PortFailed,
                      "the simulated phone could not be started: " + builtInPhoneError_, portName_);
    }
    return job;
}

void MainDialog::DropPicture() {
    SetPicture(nullptr, 0);
}

void MainDialog::FinishReadOpen(PhoneJob& job) {
    EndPhoneCall();
    // Held also when unopened, until the next Read or Connect releases it.
    session_ = std::move(job.session);
    // Whatever stops the read before it began keeps the picture that was shown, ready to save.
    saveUsable_ = picture_ != nullptr;
    if (callOff_) { // stopped before the read began: nothing was read, the list is still good
        callOff_ = false;
        if (session_) {
            session_->Close();
        }
        listUsable_ = true;
        setWindowTitle(titleBeforeCall_);
        ShowStatus(QStringLiteral("Read stopped before it began."));
        UpdateControls();
        return;
    }
    if (!job.opened) {
        ReportOpenFailure(*job.failure);
        return;
    }
    setWindowTitle(ConnectedTitle());
    Result<std::unique_ptr<ScreenRead>> read = session_->StartRead(*currentDisplay_);
    if (!read) {
        UpdateControls();
        Warn(read.failure());
        return;
    }
    read_ = std::move(*read);
    DropPicture();
    PictureFrameWidget()->repaint();
    saveUsable_ = false;
    reading_ = true;
    stopped_ = false;
    readPort_ = portName_;
    readBaud_ = baud_;
    readStarted_ = Clock::now();
    ShowReadProgress(0);
    pollTimer_.start(options_.pollPeriod);
    UpdateControls();
}

QString MainDialog::ReadProgress(int64_t lines) const {
    const int64_t total = currentDisplay_ ? currentDisplay_->height : 0;
    const ProgressSnapshot now{std::min(lines, total), total,
                               std::chrono::duration<double>(Clock::now() - readStarted_).count()};
    const QString progress = QStringLiteral("%1/%2 lines").arg(now.linesReceived).arg(total);
    if (const std::optional<double> left = SecondsLeft(now)) {
        return progress + QStringLiteral(", %1 left").arg(Duration(*left));
    }
    // Before the first lines only the line's speed tells; said only when the wait is long.
    const double estimate = currentDisplay_ ? PictureLineSeconds(*currentDisplay_, readBaud_) : 0;
    if (estimate > kLongReadSeconds) {
        return progress + QStringLiteral(", about %1 left").arg(Duration(estimate - now.elapsedSeconds));
    }
    return progress;
}

void MainDialog::ShowReadProgress(int64_t lines) {
    const QString progress = ReadProgress(lines);
    setWindowTitle(ConnectedTitle() + QStringLiteral(" - reading ") + progress);
    ShowStatus(QStringLiteral("Reading %1: %2").arg(DisplayLabel(), progress));
}

void MainDialog::OnTimer() {
    if (!reading_ || !read_ || !currentDisplay_) {
        return;
    }
    if (!read_->Running()) {
        FinishRead();
        return;
    }
    const int64_t lines = read_->Lines();
    ShowReadProgress(lines);
    if (lines <= linesShown_) {
        return;
    }
    std::shared_ptr<const panelgrab::Picture> picture = read_->Current();
    if (!picture) {
        return;
    }
    const int64_t shown = std::min<int64_t>(lines, currentDisplay_->height);
    SetPicture(std::move(picture), static_cast<int>(shown));
    RedrawBand(linesShown_, static_cast<uint32_t>(shown));
    linesShown_ = static_cast<uint16_t>(shown);
}

void MainDialog::Stop() {
    if (call_.IsRunning() &&
        (pending_ == Pending::Search || pending_ == Pending::Read || pending_ == Pending::Live)) {
        callOff_ = true;
        if (callSession_) {
            callSession_->Abort(); // ends a search, drain or probe at once; OnCallTick repeats it
        }
        return;
    }
    if (live_) {
        EndLiveView();
        return;
    }
    StopReading();
}

void MainDialog::StopReading() {
    if (!reading_ || !read_ || !currentDisplay_) {
        return;
    }
    if (!read_->Running()) {
        FinishRead(); // it ended on its own since the last tick: nothing to stop
        return;
    }
    // Counted and taken before the stop: a transfer cut short may start over and count from zero.
    stoppedLines_ = static_cast<uint32_t>(read_->Lines());
    picture_ = read_->Current();
    stopped_ = true;
    // Ends the transfer now. The phone goes on sending the rest, which the next open waits out.
    read_->Stop();
    NoteLineBusy();
    FinishRead();
}

void MainDialog::FinishRead() {
    pollTimer_.stop();
    reading_ = false;
    const uint32_t height = currentDisplay_->height;
    uint32_t lines = std::min(stopped_ ? stoppedLines_ : static_cast<uint32_t>(read_->Lines()), height);
    if (currentDisplay_->lineLength == 0) {
        lines = height; // no line count to go by: show everything there is
    }
    if (std::shared_ptr<const panelgrab::Picture> picture = stopped_ ? picture_ : read_->Current()) {
        SetPicture(std::move(picture), static_cast<int>(lines));
        RedrawBand(linesShown_, lines);
    }
    const Result<void> outcome = read_->Outcome();
    read_.reset();
    session_->Close(); // kept: the live view opens it again
    // A picture that ended short says why, and what arrived can still be saved; the counts are the
    // rows drawn.
    const QString counts = QStringLiteral("%1 of %2 lines").arg(lines).arg(height);
    if (stopped_) {
        setWindowTitle(ConnectedTitle() + QStringLiteral(" - reading stopped after ") + counts);
        ShowStatus(QStringLiteral("Stopped after ") + counts + QStringLiteral("."));
    } else if (!outcome) {
        setWindowTitle(ConnectedTitle() + QStringLiteral(" - picture incomplete: ") +
                       QString::fromStdString(outcome.failure().text));
        ShowStatus(QString::fromStdString(FailureMessage(outcome.failure())));
    } else {
        setWindowTitle(ConnectedTitle());
        ShowStatus(QStringLiteral("Read %1: all %2 lines.").arg(DisplayLabel()).arg(height));
    }
    listUsable_ = true;
    saveUsable_ = true;
    UpdateControls();
}

// ---- Live view ----

void MainDialog::SetLiveView(bool on) {
    if (!on) {
        Stop();
        return;
    }
    if (live_ || call_.IsRunning() || reading_ || !session_ || !currentDisplay_) {
        UpdateControls();
        return;
    }
    // The read's session was closed when its read ended; opening it again (with its probe) may
    // block, so it happens on the call's worker. Its picture stays drawable meanwhile.
    auto job = std::make_shared<PhoneJob>();
    job->session = std::move(session_);
    job->reopen = true;
    StartPhoneCall(Pending::Live, job);
}

void MainDialog::FinishLiveOpen(PhoneJob& job) {
    EndPhoneCall();
    session_ = std::move(job.session);
    if (callOff_ || !job.opened) {
        recording_.reset(); // nothing was recorded: no file
    }
    if (callOff_) {
        callOff_ = false;
        session_->Close();
        setWindowTitle(titleBeforeCall_);
        ShowStatus(QStringLiteral("Live view stopped before it began."));
        UpdateControls();
        return;
    }
    if (!job.opened) {
        ReportOpenFailure(*job.failure);
        return;
    }
    // The worker's refreshes come to the window's thread through the inbox, drawn as they arrive.
    liveInbox_ = std::make_shared<LiveInbox>([this] {
        QMetaObject::invokeMethod(
            this, [this] { OnLiveUpdates(); }, Qt::QueuedConnection);
    });
    LiveViewOptions options;
    options.handOutFullReadRows = true; // the opening read's progress
    liveStarted_ = Clock::now();
    Result<std::unique_ptr<LiveView>> view =
        session_->StartLiveView(*currentDisplay_, options, LiveInbox::Handler(liveInbox_));
    if (!view) {
        liveInbox_.reset();
        recording_.reset();
        session_->Close();
        setWindowTitle(ConnectedTitle());
        UpdateControls();
        Warn(view.failure());
        return;
    }
    liveView_ = std::move(*view);
    live_ = true;
    liveOpening_ = true;
    liveOpeningRows_ = 0;
    liveRefreshes_.clear();
    liveNotice_.clear();
    recordingNote_.clear();
    readStarted_ = Clock::now();
    readBaud_ = baud_;
    ShowLiveStatus();
    UpdateControls();
}

void MainDialog::OnLiveUpdates() {
    if (!live_ || !liveView_ || !liveInbox_) {
        return; // a wake-up of a live view that has ended since
    }
    const LiveInbox::Batch batch = liveInbox_->Take();
    const bool wasOpening = liveOpening_;
    CountLiveProgress(batch);
    DrawLiveChanges(batch.regions, wasOpening);
    RecordSettledPicture(batch.refreshes);
    ShowLiveStatus();
    if (batch.ended) {
        EndLiveView(QString::fromStdString(FailureMessage(session_->LiveViewEnded(*liveView_))));
    }
}

void MainDialog::DrawLiveChanges(const std::vector<LiveRegion>& regions, bool wasOpening) {
    if (liveOpening_) {
        return; // the earlier picture stays until the opening read has brought every line
    }
    std::shared_ptr<const panelgrab::Picture> picture = liveView_->Current();
    if (!picture) {
        return;
    }
    const int rows = picture->height();
    SetPicture(std::move(picture), rows);
    if (wasOpening) {
        PictureFrameWidget()->repaint();
        return;
    }
    // Only what was fetched, rows by their columns.
    QRegion changed;
    for (const LiveRegion& region : regions) {
        changed += QRect(zoom_ * region.firstColumn, zoom_ * region.firstRow,
                         zoom_ * (region.lastColumn - region.firstColumn + 1),
                         zoom_ * (region.lastRow - region.firstRow + 1));
    }
    if (!changed.isEmpty()) {
        PictureFrameWidget()->repaint(changed);
    }
}

void MainDialog::CountLiveProgress(const LiveInbox::Batch& batch) {
    liveRefreshes_.insert(liveRefreshes_.end(), batch.refreshes.size(), Clock::now());
    for (const LiveRefreshStats& refresh : batch.refreshes) {
        if (!refresh.notice.empty()) {
            liveNotice_ = QString::fromStdString(refresh.notice);
        }
    }
    if (liveOpening_) {
        for (const LiveRegion& region : batch.regions) {
            liveOpeningRows_ = std::max<int64_t>(liveOpeningRows_, region.lastRow + 1);
        }
        liveOpening_ = batch.refreshes.empty();
    }
}

void MainDialog::ShowLiveStatus() {
    const QString recording = RecordingProgress();
    if (liveOpening_) {
        const QString progress = ReadProgress(liveOpeningRows_);
        setWindowTitle(ConnectedTitle() + QStringLiteral(" - live view, reading ") + progress);
        ShowStatus(
            QStringLiteral("Live view of %1: reading every line first, %2").arg(DisplayLabel(), progress) +
            recording);
        return;
    }
    constexpr auto kRateWindow = std::chrono::seconds(5);
    const auto now = Clock::now();
    std::erase_if(liveRefreshes_, [&](Clock::time_point at) { return now - at > kRateWindow; });
    const QString rate =
        QStringLiteral("%1 refreshes/s")
            .arg(static_cast<double>(liveRefreshes_.size()) / kRateWindow.count(), 0, 'f', 1);
    setWindowTitle(ConnectedTitle() + QStringLiteral(" - live view, ") + rate +
                   (liveNotice_.isEmpty() ? QString() : QStringLiteral(" (") + liveNotice_ + ")"));
    QString status = QStringLiteral("Live view of %1: %2").arg(DisplayLabel(), rate) + recording + ".";
    for (const QString& more : {liveNotice_, recordingNote_}) {
        if (!more.isEmpty()) {
            status += QStringLiteral(" ") + more;
        }
    }
    ShowStatus(status);
}

void MainDialog::EndLiveView(const QString& failure) {
    if (!live_) {
        UpdateControls();
        return;
    }
    live_ = false;
    liveOpening_ = false;
    liveView_->Stop();
    // A refresh that ended meanwhile still counts for the recording, which ends with the live view.
    RecordSettledPicture(liveInbox_->Take().refreshes);
    liveView_.reset();
    liveInbox_.reset();
    session_->Close();
    QString recorded = EndRecording();
    if (recorded.isEmpty()) {
        recorded = recordingNote_;
    }
    recordingNote_.clear();
    recorded = recorded.isEmpty() ? QString() : QStringLiteral(" ") + recorded;
    if (failure.isEmpty()) {
        setWindowTitle(ConnectedTitle());
        ShowStatus(QStringLiteral("Live view stopped.") + recorded);
    } else {
        setWindowTitle(ConnectedTitle() + QStringLiteral(" - live view ended")); // the status line says why
        ShowStatus(failure + recorded);
    }
    UpdateControls();
}

// ---- Recording ----

void MainDialog::OnRecord() {
    if (recording_) {
        StopRecording();
        return;
    }
    if (!recordAction_->isEnabled()) {
        return;
    }
    const int position = std::max(displayList_->currentIndex(), 0) + 1;
    const QString path = prompts_->AskSaveFileName(
        this, kRecordTitle, kRecordFilters, SuggestedSaveName(position, QDateTime::currentDateTime(), "png"));
    if (!path.isEmpty()) {
        StartRecording(path);
    }
}

bool MainDialog::StartRecording(const QString& path) {
    if (recording_ || !recordAction_->isEnabled()) {
        return false;
    }
    // Said now rather than after a recording that could not be kept.
    std::string error = path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)
                            ? std::string()
                            : std::string("the name must end in .png");
    if (error.empty()) {
        CanCreateFileAt(QFile::encodeName(path).toStdString(), error);
    }
    if (!error.empty()) {
        const QString text = QStringLiteral("Could not record to %1: %2")
                                 .arg(QDir::toNativeSeparators(path), QString::fromStdString(error));
        ShowStatus(text);
        prompts_->ShowError(this, kRecordError, text);
        return false;
    }
    recording_.emplace(QFile::encodeName(path).toStdString(), 1);
    recordedRefresh_ = 0;
    recordingNote_.clear();
    if (!live_) {
        SetLiveView(true);
        if (!live_ && !(call_.IsRunning() && pending_ == Pending::Live)) {
            recording_.reset(); // the live view did not start, and said why
        }
        UpdateControls();
        return recording_.has_value();
    }
    // The picture on show is the first frame, unless the opening read is still bringing it.
    int64_t refresh = 0;
    if (const std::shared_ptr<const panelgrab::Picture> settled = liveView_->Settled(&refresh);
        settled && !liveOpening_) {
        RecordPicture(*settled, refresh, LiveMilliseconds());
    }
    ShowLiveStatus();
    UpdateControls();
    return recording_.has_value();
}

void MainDialog::StopRecording() {
    recordingNote_ = EndRecording();
    if (live_) {
        ShowLiveStatus();
    } else {
        ShowStatus(recordingNote_);
    }
    UpdateControls();
}

int64_t MainDialog::LiveMilliseconds() const {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - liveStarted_).count();
}

void MainDialog::RecordSettledPicture(const std::vector<LiveRefreshStats>& refreshes) {
    if (!recording_ || refreshes.empty()) {
        return;
    }
    // The picture as the last refresh that found nothing left to mend left it, from when that
    // refresh ended (or the last one, when it ended after this batch was taken).
    int64_t refresh = 0;
    const std::shared_ptr<const panelgrab::Picture> settled = liveView_->Settled(&refresh);
    if (!settled) {
        return;
    }
    int64_t atMs = refreshes.back().endedAtMs;
    for (const LiveRefreshStats& stats : refreshes) {
        if (stats.number == refresh) {
            atMs = stats.endedAtMs;
        }
    }
    RecordPicture(*settled, refresh, atMs);
}

void MainDialog::RecordPicture(const panelgrab::Picture& picture, int64_t refresh, int64_t atMs) {
    if (refresh == recordedRefresh_) {
        return; // the refresh recorded last adds nothing
    }
    recordedRefresh_ = refresh;
    if (std::string error; !recording_->Add(picture, atMs, error)) {
        const QString text = QStringLiteral("Could not record to %1: %2")
                                 .arg(ShownPath(recording_->path()), QString::fromStdString(error));
        recording_.reset();
        recordingNote_ = text;
        ShowStatus(text);
        prompts_->ShowError(this, kRecordError, text);
        UpdateControls();
    }
}

QString MainDialog::EndRecording() {
    if (!recording_) {
        return {};
    }
    const LiveRecording recording = std::move(*recording_);
    recording_.reset();
    const QString path = ShownPath(recording.path());
    if (recording.frameCount() == 0) {
        return QStringLiteral("Nothing was recorded: the live view had not read every line yet.");
    }
    if (std::string error; !recording.Finish(LiveMilliseconds(), error)) {
        const QString text =
            QStringLiteral("Could not record to %1: %2").arg(path, QString::fromStdString(error));
        prompts_->ShowError(this, kRecordError, text);
        return text;
    }
    return QStringLiteral("Recorded %1 in %2.").arg(FramesText(recording.frameCount()), path);
}

QString MainDialog::RecordingProgress() const {
    if (!recording_) {
        return {};
    }
    return QStringLiteral("; recording %1: %2")
        .arg(QFileInfo(QFile::decodeName(recording_->path().c_str())).fileName(),
             FramesText(recording_->frameCount()));
}

void MainDialog::RedrawBand(uint32_t fromLine, uint32_t toLine) {
    // The lines that arrived since the last drawing plus the one arriving now, in the frame.
    const long long top = static_cast<long long>(zoom_) * fromLine;
    const long long bottom = static_cast<long long>(zoom_) * (toLine + 1LL);
    const long long width = static_cast<long long>(zoom_) * currentDisplay_->width;
    if (bottom <= top || width <= 0) {
        return;
    }
    PictureFrameWidget()->repaint(QRect(0, ClampToInt(top), ClampToInt(width), ClampToInt(bottom - top)));
}

// ---- Picture frame, zoom and window size ----

void MainDialog::SetPicture(std::shared_ptr<const panelgrab::Picture> picture, int rows) {
    picture_ = std::move(picture);
    rowsShown_ = picture_ ? std::clamp(rows, 0, static_cast<int>(picture_->height())) : 0;
    PictureFrameWidget()->SetPicture(picture_.get(), zoom_, rowsShown_);
}

panelgrab::Picture MainDialog::ShownPicture() const {
    panelgrab::Picture shown = *picture_;
    const QColor grey = PictureFrameWidget()->palette().color(QPalette::Window);
    const Rgb colour{static_cast<uint8_t>(grey.red()), static_cast<uint8_t>(grey.green()),
                     static_cast<uint8_t>(grey.blue())};
    for (int y = rowsShown_; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            shown.Set(x, y, colour);
        }
    }
    return shown;
}

void MainDialog::SetZoom(int zoom) {
    zoom_ = static_cast<uint8_t>(std::clamp(zoom, 1, 255));
    if (QAction* action = ZoomAction(zoom_)) {
        action->setChecked(true);
    }
    SetPicture(picture_, rowsShown_);
    if (currentDisplay_) {
        FitPictureFrame(currentDisplay_->width, currentDisplay_->height);
    }
}

QAction* MainDialog::ZoomAction(int zoom) const {
    for (QAction* action : zoomActions_->actions()) {
        if (action->data().toInt() == zoom) {
            return action;
        }
    }
    return nullptr;
}

void MainDialog::FitPictureFrame(int width, int height) {
    PictureFrame* frame = PictureFrameWidget();
    frame->resize(FrameSide(zoom_, width), FrameSide(zoom_, height));
    frame->update();
    FitWindowToPicture();
}

void MainDialog::FitWindowToPicture() {
    const QSize frame = PictureFrameWidget()->size();
    QSize needed(areaTemplate_.x() + frame.width() + areaMargin_.width(),
                 areaTemplate_.y() + frame.height() + areaMargin_.height());
    QRect available(QPoint(0, 0), needed);
    QSize decoration(0, 0);
    if (const QScreen* shownOn = screen()) {
        available = shownOn->availableGeometry();
        // The title bar and borders take their share of the screen too.
        if (isVisible()) {
            decoration = frameGeometry().size() - geometry().size();
        }
    }
    const QSize limit = available.size() - decoration;
    // A side cut to the screen scrolls, and its scroll bar takes room from the other side.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    if (needed.height() > limit.height()) {
        needed.rwidth() += bar;
    }
    if (needed.width() > limit.width()) {
        needed.rheight() += bar;
    }
    // Never smaller than the template or than the user made it; back to that for a smaller picture.
    const QSize wanted = userSize_.expandedTo(needed.boundedTo(limit));
    fittedSize_ = wanted;
    if (wanted == size()) {
        return;
    }
    resize(wanted);
    if (!isVisible()) {
        return;
    }
    // Keep the grown window on the screen.
    QPoint corner = pos();
    const QSize outer = wanted + decoration;
    corner.setX(std::max(available.left(), std::min(corner.x(), available.right() + 1 - outer.width())));
    corner.setY(std::max(available.top(), std::min(corner.y(), available.bottom() + 1 - outer.height())));
    if (corner != pos()) {
        move(corner);
    }
}

void MainDialog::LayOutPictureArea() {
    // The controls keep their places; only the picture's area follows the window's size.
    const int width = std::max(1, this->width() - areaTemplate_.x() - areaMargin_.width());
    const int height = std::max(1, this->height() - areaTemplate_.y() - areaMargin_.height());
    pictureArea_->setGeometry(areaTemplate_.x(), areaTemplate_.y(), width, height);
    // The status line stays under everything, as wide as the window.
    statusLine_->setGeometry(
        statusTemplate_.x(), this->height() - statusMargin_.height() - statusTemplate_.height(),
        std::max(1, this->width() - statusTemplate_.x() - statusMargin_.width()), statusTemplate_.height());
}

void MainDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (size() != fittedSize_) {
        userSize_ = size(); // the user's own size: the least the window returns to
    }
    LayOutPictureArea();
}

// ---- Save, copy, menu, keys, close ----

void MainDialog::OnSave() {
    if (!picture_) {
        // The read ended without a picture that could be made: there is nothing to write.
        const QString text = kSaveFailed + QStringLiteral(": the read brought no picture");
        ShowStatus(text);
        prompts_->ShowError(this, kSaveError, text);
        return;
    }
    const int height = picture_->height();
    if (rowsShown_ < height &&
        !prompts_->AskYesNo(
            this,
            QStringLiteral("Only %1 of %2 lines were read. Save anyway?").arg(rowsShown_).arg(height))) {
        return;
    }
    const int position = std::max(displayList_->currentIndex(), 0) + 1;
    const QString path = prompts_->AskSaveFileName(
        this, kSaveTitle, kSaveFilters, SuggestedSaveName(position, QDateTime::currentDateTime(), "bmp"));
    if (path.isEmpty()) {
        return;
    }
    // The name's suffix chooses the format; the file is replaced only once the new one is whole.
    if (std::string error; !WritePictureFile(ShownPicture(), QFile::encodeName(path).toStdString(), error)) {
        const QString text =
            QStringLiteral("%1 to %2: %3").arg(kSaveFailed, path, QString::fromStdString(error));
        ShowStatus(text);
        prompts_->ShowError(this, kSaveError, text);
        return;
    }
    ShowStatus(QStringLiteral("Saved ") + QDir::toNativeSeparators(path));
}

void MainDialog::OnCopyImage() {
    if (!picture_) {
        return;
    }
    const panelgrab::Picture shown = ShownPicture();
    const QImage image = PictureImage(shown);
    if (!image.isNull()) {
        // A converted copy: the clipboard must not hold rows the read job owns.
        QGuiApplication::clipboard()->setImage(image.convertToFormat(QImage::Format_RGB32));
    }
}

void MainDialog::OnAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainDialog::FillContextMenu(QMenu& menu) {
    // One entry a line; an action on the picture goes beside Copy and Stop.
    copyAction_->setEnabled(picture_ != nullptr);
    menu.addAction(copyAction_);
    menu.addAction(stopAction_);
    menu.addAction(liveAction_);
    menu.addAction(recordAction_);
    menu.addSeparator();
    menu.addActions(zoomActions_->actions());
    menu.addSeparator();
    menu.addAction(aboutAction_);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    FillContextMenu(menu);
    menu.exec(event->globalPos());
    copyAction_->setEnabled(true); // Ctrl+C checks for a picture itself
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    // Esc stops a read or a live view; with none running it keeps closing the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && stopAction_->isEnabled()) {
        event->accept();
        Stop();
        return;
    }
    QDialog::keyPressEvent(event);
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
    // Closing ends a running read or call: the ports are closed and every worker joined. A
    // recording is written first.
    EndLiveView();
    ShutDownPhone();
    QDialog::done(result);
}

void MainDialog::ShutDownPhone() {
    if (live_ && session_) {
        EndLiveView(); // writes a recording
    }
    recording_.reset(); // one whose live view had not begun: nothing to write
    pollTimer_.stop();
    callTimer_.stop();
    reading_ = false;
    DropPicture();
    // The call's search, open or drain ends as soon as the session is aborted; the abort is
    // repeated in case the open had not reached the port yet.
    call_.Abandon([this] {
        if (callSession_) {
            callSession_->Abort();
        }
    });
    EndPhoneCall();
    read_.reset(); // handles end before their session
    liveView_.reset();
    session_.reset();
    UpdateControls();
}

} // namespace panelgrab
