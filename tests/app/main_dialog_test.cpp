// The window: its layout, lists and menus, then Connect, Read, Stop, the timer's bands, the picture's
// size and zoom, live view, Save and copy through simulated phones on pseudo-terminals.
#include <QtTest>
#include <QtWidgets>
#include <cerrno>
#include <cstring>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/combo_selection.h"
#include "app/control_template.h"
#include "app/main_dialog.h"
#include "app/picture_area.h"
#include "app/picture_frame.h"
#include "app/save_name.h"
#include "app/user_prompts.h"
#include "phone/at_phone.h"
#include "sim/display_picture.h"
#include "sim/picture_source.h"
#include "sim/screen_animation.h"
#include "support/apng_frames.h"
#include "support/pty_peer.h"
#include "support/scratch_folder.h"
#include "transport/at/serial_port.h"

using namespace panelgrab;
using namespace std::chrono_literals;

namespace {

constexpr int kReadLimitMs = 20000;
// Waits, handling the window's events, for what a phone call brings about.
#define WAIT_UNTIL(condition) QTRY_VERIFY_WITH_TIMEOUT(condition, kReadLimitMs)
const char* const kNoSuchPort = "/dev/panelgrab-no-such-port";

// Answers the window's prompts in place of a person and remembers what was asked.
class RecordingPrompts : public UserPrompts {
public:
    void ShowMessage(QWidget*, const QString& text, const QString& detail) override {
        messages.push_back({text, detail});
    }
    void ShowError(QWidget*, const QString& caption, const QString& text) override {
        errors.push_back({caption, text});
    }
    bool AskYesNo(QWidget*, const QString& text) override {
        questions.push_back(text);
        return yesAnswer;
    }
    QString AskSaveFileName(QWidget*, const QString& title, const QString& filters,
                            const QString& suggestedName) override {
        saveRequests.push_back({title, filters, suggestedName});
        return saveAnswer;
    }

    std::vector<QStringList> messages;     // text, detail
    std::vector<QStringList> errors;       // caption, text
    std::vector<QStringList> saveRequests; // title, filters, suggested name
    QString saveAnswer;                    // empty: the user cancels
    QStringList questions;
    bool yesAnswer = true;
};

// How the tests shape a real phone's answers: the display list can be rewritten, and while
// `holdRead` is set the read looks running with its progress capped, so a test decides exactly
// what each timer tick sees.
struct ReadShaping {
    std::function<void(DisplayList&)> rewriteDisplays; // applied to a successful display list
    bool holdRead = false;
    int32_t progressCap = -1; // -1: no cap
    int destroyed = 0;        // phone objects destroyed so far
};

class ShapedPhone : public AtPhone {
public:
    ShapedPhone(const ConnectionSettings& settings, ReadShaping& shaping)
        : AtPhone(std::make_unique<SerialPort>(settings)), shaping_(shaping) {}
    ~ShapedPhone() override { ++shaping_.destroyed; }

    // Whether the real read still transfers, whatever the shaping says.
    bool InnerReadRunning() { return AtPhone::IsReadRunning(); }

    int32_t GetDisplayList(DisplayList& displays) override {
        const int32_t result = AtPhone::GetDisplayList(displays);
        if (result == kPhoneOk && shaping_.rewriteDisplays) {
            shaping_.rewriteDisplays(displays);
        }
        return result;
    }
    int32_t GetReadProgress() override {
        const int32_t progress = AtPhone::GetReadProgress();
        return shaping_.progressCap < 0 ? progress : std::min(progress, shaping_.progressCap);
    }
    bool IsReadRunning() override { return shaping_.holdRead || AtPhone::IsReadRunning(); }

private:
    ReadShaping& shaping_;
};

// Remembers the regions the dialog was asked to paint.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget& widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        }
        return false;
    }
    std::vector<QRegion> regions;
};

// A phone with one display of 40x30, sending at `baud` (0: as fast as it can), with a simulated fault.
sim::SimOptions SmallPhone(int baud = 0, const std::string& fault = {}) {
    sim::SimOptions options;
    options.displays = {{40, 30, 16}};
    options.baud = baud;
    options.fault = fault;
    return options;
}

QStringList Items(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) {
        items << list.itemText(i);
    }
    return items;
}

// What the window said or showed, one entry a box.
using Said = std::vector<QStringList>;

PortInfo FakePort(const std::string& path) {
    return {path, "", "", "", "", "", ""};
}

QImage ImageOf(const Picture& picture) {
    QImage image(picture.width(), picture.height(), QImage::Format_RGB888);
    for (int y = 0; y < picture.height(); ++y) {
        std::copy_n(picture.Row(y), 3 * picture.width(), image.scanLine(y));
    }
    return image;
}

// A window with test timing and recorded prompts, shown. Its port list offers `ports` instead of this
// machine's; with a simulated phone the phone's device is added and chosen.
struct Window {
    explicit Window(std::optional<sim::SimOptions> phoneOptions = {}, std::chrono::milliseconds poll = 10ms,
                    PortTiming timing = PortTiming::Fast(), std::vector<PortInfo> portInfos = {})
        : simOptions(phoneOptions.value_or(sim::SimOptions{})), phone(simOptions),
          ports(std::move(portInfos)) {
        std::string error;
        const bool started = !phoneOptions || phone.Start(error);
        MainDialogOptions options;
        options.timing = timing;
        options.pollPeriod = poll;
        options.releasePause = 5ms;
        options.prompts = &prompts;
        options.simulatedPhone = simOptions;
        options.createPhone = [this](const ConnectionSettings& settings) -> std::unique_ptr<PhoneLink> {
            auto made = std::make_unique<ShapedPhone>(settings, shaping);
            lastPhone = made.get();
            return made;
        };
        options.listPorts = [this] { return ports; };
        dialog = std::make_unique<MainDialog>(options);
        if (phoneOptions) {
            SelectPort(QString::fromStdString(phone.DevicePath()));
        }
        dialog->show();
        // A failure here fails the test that makes the window.
        QVERIFY2(started && QTest::qWaitForWindowExposed(dialog.get()),
                 "the phone or the window did not come up");
    }

    QComboBox* List(int id) const { return qobject_cast<QComboBox*>(dialog->Control(id)); }
    void Choose(int listId, const QString& text) const {
        List(listId)->setCurrentIndex(List(listId)->findText(text));
    }
    void SelectPort(const QString& name) const {
        if (List(kIdPortList)->findText(name) < 0) {
            List(kIdPortList)->addItem(name);
        }
        Choose(kIdPortList, name);
    }
    QString Title() const { return dialog->windowTitle(); }
    QString Status() const { return dialog->StatusText(); }
    QStringList DisplayItems() const { return Items(*List(kIdDisplayList)); }
    bool ReadFinished() const { return dialog->Control(kIdSave)->isEnabled(); }
    // The window at a glance: the controls and menu entries usable now, "|", what it holds or runs, and
    // whether it has said anything or shown an error.
    QString State() const {
        const MainDialog& d = *dialog;
        const std::pair<const char*, bool> parts[] = {{"connect", d.Control(kIdConnect)->isEnabled()},
                                                      {"displays", List(kIdDisplayList)->isEnabled()},
                                                      {"read", d.Control(kIdRead)->isEnabled()},
                                                      {"save", ReadFinished()},
                                                      {"stop", d.StopAction()->isEnabled()},
                                                      {"live", d.LiveViewAction()->isEnabled()},
                                                      {"BUTTONS DIFFER FROM MENU", !ButtonsMirrorMenu()},
                                                      {"|", true},
                                                      {"phone", d.HoldsPhone()},
                                                      {"picture", d.Picture() != nullptr},
                                                      {"reading", d.IsReading()},
                                                      {"polling", d.IsPolling()},
                                                      {"busy", d.IsBusy()},
                                                      {"is-live", d.IsLive()},
                                                      {"recording", d.IsRecording()},
                                                      {"said", !prompts.messages.empty()},
                                                      {"error", !prompts.errors.empty()}};
        QStringList state;
        for (const auto& [name, on] : parts) {
            if (on) {
                state << QString::fromLatin1(name);
            }
        }
        return state.join(QLatin1Char(' '));
    }
    // The Stop, Live view and Record buttons are the menu entries' twins; Record is usable whenever
    // Live view is, and while it records.
    bool ButtonsMirrorMenu() const {
        const auto* live = qobject_cast<QPushButton*>(dialog->Control(kIdLiveView));
        const auto* record = RecordButton();
        return dialog->Control(kIdStop)->isEnabled() == dialog->StopAction()->isEnabled() &&
               live->isEnabled() == dialog->LiveViewAction()->isEnabled() &&
               live->isChecked() == dialog->LiveViewAction()->isChecked() &&
               record->isEnabled() == dialog->RecordAction()->isEnabled() &&
               record->text() == dialog->RecordAction()->text() &&
               record->isEnabled() == (live->isEnabled() || dialog->IsRecording());
    }
    QPushButton* RecordButton() const { return qobject_cast<QPushButton*>(dialog->Control(kIdRecord)); }
    QString ConnectedTitle(const QString& port, int baud = 9600) const {
        return QStringLiteral("Panelgrab - %1 %2 baud").arg(port).arg(baud);
    }
    QString ConnectedTitle() const { return ConnectedTitle(QString::fromStdString(phone.DevicePath())); }
    // Waits for the phone call that Connect or Read started (the window stays responsive meanwhile).
    bool CallEnded() {
        return QTest::qWaitFor([this] { return !dialog->IsBusy(); }, kReadLimitMs);
    }
    bool Connect() {
        dialog->OnConnect();
        return CallEnded();
    }
    // Read, up to the start of the transfer.
    bool StartRead() {
        dialog->OnRead();
        return CallEnded() && dialog->IsReading();
    }
    bool ReadToEnd() {
        dialog->OnRead();
        return QTest::qWaitFor([this] { return !dialog->IsBusy() && ReadFinished(); }, kReadLimitMs);
    }
    bool ConnectAndRead() { return Connect() && ReadToEnd(); }
    // Connect and Read, the read held running after its transfer has ended (shaping.holdRead).
    bool ConnectAndHoldRead() {
        shaping.holdRead = true;
        return Connect() && StartRead() &&
               QTest::qWaitFor([this] { return !lastPhone->InnerReadRunning(); }, kReadLimitMs);
    }
    // What display `index` of the simulated phone shows.
    QImage Expected(std::size_t index = 0) const { return ImageOf(sim::ExpectedPicture(simOptions, index)); }
    // A file the window may write, in a folder of the test's own.
    QString ScratchFile(const QString& name) const { return scratch.filePath(name); }
    // A band of lines in the frame's own coordinates.
    QRect Band(int fromLine, int toLineExclusive) const {
        return QRect(0, 2 * fromLine, 2 * dialog->CurrentDisplay()->width, 2 * (toLineExclusive - fromLine));
    }

    sim::SimOptions simOptions;
    sim::SimulatedPhone phone;
    RecordingPrompts prompts;
    ReadShaping shaping;
    ShapedPhone* lastPhone = nullptr;
    std::vector<PortInfo> ports;
    QTemporaryDir scratch;
    std::unique_ptr<MainDialog> dialog;
};

// An image file as plain RGB: a PNG says it is sRGB, which Qt's comparison would count as a difference.
QImage SavedImage(const QString& path) {
    QImage image = QImage(path).convertToFormat(QImage::Format_RGB888);
    image.setColorSpace(QColorSpace());
    return image;
}

// `text` when the whole of it matches `pattern`, compared with `text` to show it on a mismatch.
QString Matched(const QString& pattern, const QString& text) {
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).captured();
}

// The frames of the animated PNG at `path`, decoded with the project's own PNG reader; none when it
// is not one.
std::vector<test::ApngFrame> RecordedFrames(const QString& path) {
    const std::string bytes = test::ReadFile(QFile::encodeName(path).toStdString());
    std::vector<test::ApngFrame> frames;
    std::string error;
    test::DecodeApng({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, frames, error);
    return frames;
}

// What the block-animated phone shows with its block at each of the eight places it moves between.
std::vector<Picture> BlockSteps(const sim::SimOptions& options) {
    std::vector<Picture> steps;
    std::vector<Picture> sources;
    std::string error;
    for (int step = 0; step < 8 && sim::LoadSourcePictures(options, sources, error); ++step) {
        sim::DrawAnimationStep(sources[0], options.animation, step);
        const sim::SimDisplay display = sim::EffectiveDisplays(options)[0];
        steps.push_back(sim::DisplayPicture(display, sim::IsLongForm(options.dialect), sources[0]).Decoded());
    }
    return steps;
}

// Whether the frame shows `expected` with every pixel as a zoom x zoom block, and the frame's right and
// bottom lines beside it.
bool FrameShows(const Window& w, const QImage& expected, int zoom = 2) {
    const QSize size = zoom * expected.size();
    const QImage shot = w.dialog->grab(QRect(w.dialog->PictureOrigin(), size + QSize(1, 1))).toImage();
    return shot.copy(QRect(QPoint(), size)).convertToFormat(QImage::Format_RGB888) ==
               expected.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation) &&
           shot.pixelColor(size.width(), size.height() / 2) == QColor(Qt::black) &&
           shot.pixelColor(size.width() / 2, size.height()) == QColor(Qt::black);
}

// Whether the frame (at zoom 1) shows what the phone shows now, a picture later than `version`.
bool FrameShowsTheLatestPicture(const Window& w, uint64_t version) {
    Picture before;
    Picture after;
    uint64_t versionBefore = 0;
    uint64_t versionAfter = 0;
    if (!w.phone.CurrentPicture(0, before, versionBefore) || !FrameShows(w, ImageOf(before), 1)) {
        return false;
    }
    return w.phone.CurrentPicture(0, after, versionAfter) && versionAfter == versionBefore &&
           versionBefore > version;
}

const int kControls[] = {kIdPortList, kIdBaudList, kIdSave,     kIdDisplayList, kIdRead,   kIdPictureFrame,
                         kIdQuit,     kIdConnect,  kIdLiveView, kIdStop,        kIdRecord, kIdStatusLine};

// Where the window's controls are, in the order of kControls.
std::vector<QRect> Geometries(const MainDialog& dialog) {
    std::vector<QRect> geometries;
    for (int id : kControls) {
        geometries.push_back(dialog.Control(id)->geometry());
    }
    return geometries;
}

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT
    QTemporaryDir settingsFolder_;

private slots:
    // The window keeps the last port and baud rate in the user's settings: the tests keep theirs in a
    // folder of their own, never in the real configuration.
    void initTestCase() {
        QVERIFY(settingsFolder_.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("panelgrab-tests"));
        QCoreApplication::setApplicationName(QStringLiteral("main-dialog-test"));
        for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
            QSettings::setPath(QSettings::NativeFormat, scope, settingsFolder_.path());
            QSettings::setPath(QSettings::IniFormat, scope, settingsFolder_.path());
        }
    }
    // Every case starts with nothing remembered from an earlier window.
    void init() { QSettings().clear(); }

    void opensNotConnectedWithTheTemplatesLayoutAndTabOrder() {
        Window w;
        MainDialog& d = *w.dialog;
        QCOMPARE(d.windowTitle(), QStringLiteral("Panelgrab - Not connected"));
        QCOMPARE(Items(*w.List(kIdBaudList)), QStringList({"1200", "2400", "9600", "19200", "115200",
                                                           "230400", "460800", "921600", "auto"}));
        QCOMPARE(w.List(kIdBaudList)->currentText(), QStringLiteral("9600"));
        QCOMPARE(w.List(kIdPortList)->currentText(), QStringLiteral("Simulated phone")); // the only entry
        QVERIFY(w.List(kIdPortList)->isEditable()); // a network port's URL can be typed
        QCOMPARE(w.State(), QStringLiteral("connect |"));
        QVERIFY(d.ZoomAction(2)->isChecked());

        // Every control inside the window and apart from the others.
        const std::vector<QRect> before = Geometries(d);
        for (std::size_t i = 0; i < before.size(); ++i) {
            QVERIFY2(d.rect().contains(before[i]) && !before[i].isEmpty(), qPrintable(QString::number(i)));
            for (std::size_t j = 0; j < i; ++j) {
                QVERIFY2(!before[j].intersects(before[i]),
                         qPrintable(QString("%1 overlaps %2").arg(i).arg(j)));
            }
        }
        // The tab order is the template's; the controls' own parts (the port list's text field) are
        // no stops of their own, and the chain closes after Connect.
        QWidget* widget = d.Control(kIdPortList);
        for (int id : {kIdPortList, kIdBaudList, kIdSave, kIdDisplayList, kIdRead, kIdQuit, kIdConnect,
                       kIdLiveView, kIdStop, kIdRecord}) {
            QCOMPARE(widget->property("controlId").toInt(), id);
            do {
                widget = widget->nextInFocusChain();
            } while ((widget->parentWidget() != &d || !(widget->focusPolicy() & Qt::TabFocus)) &&
                     widget != d.Control(kIdPortList));
        }
        QCOMPARE(widget, d.Control(kIdPortList));

        // Resized, the controls stay; the picture area keeps its corner and its margins, and the status
        // line stays at the bottom, under the picture, as wide as the window lets it be.
        std::vector<QRect> resized = before;
        resized[5].adjust(0, 0, 120, 80);
        resized[11] = resized[11].translated(0, 80).adjusted(0, 0, 120, 0);
        d.resize(d.size() + QSize(120, 80));
        QCoreApplication::processEvents();
        QCOMPARE(Geometries(d), resized);
        QVERIFY(resized[11].top() > resized[5].bottom());
        // The frame keeps its corner when fitted, down to an empty display.
        d.FitPictureFrame(0, 0);
        QCOMPARE(d.PictureFrameWidget()->size(), QSize(1, 1));
        QCOMPARE(d.PictureOrigin(), resized[5].topLeft());

        // Enter outside the port field presses Quit.
        QTest::keyClick(d.Control(kIdBaudList), Qt::Key_Return);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }

    void prefixSelectionAndLeadingDecimal() {
        const std::tuple<QStringList, const char*, int> cases[] = {
            {{"COM2", "COM10"}, "COM1", 1},          // COM1 missing: COM10
            {{"COM10", "COM1", "COM11"}, "COM1", 0}, // the first in the list's order
            {{"ttyS0", "ttyusb0"}, "TTYUSB", 1},     // letter case ignored
            {{"COM2", "COM3"}, "COM1", -1},          // no match: no selection
        };
        for (const auto& [items, prefix, selected] : cases) {
            QComboBox list;
            list.addItems(items);
            list.setCurrentIndex(-1);
            QVERIFY2(SelectFirstWithPrefix(list, prefix) == selected && list.currentIndex() == selected,
                     qPrintable(items.join(' ')));
        }
        const std::pair<QString, int> numbers[] = {
            {"9600 baud", 9600}, {"fast", 0}, {"", 0}, {"99999999999", 2147483647}};
        for (const auto& [text, value] : numbers) {
            QCOMPARE(LeadingDecimal(text), value);
        }
    }

    void contextMenuOffersCopyStopLiveZoomAndAbout() {
        Window w;
        MainDialog& d = *w.dialog;
        // A right click on the picture opens the menu, its entries usable or not ("off").
        QStringList texts;
        QTimer::singleShot(0, [&texts] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : popup->actions()) {
                    texts << (action->isSeparator() ? QStringLiteral("-")
                              : action->isEnabled() ? action->text()
                                                    : action->text() + " (off)");
                }
                popup->close();
            }
        });
        QWidget* picture = d.PictureFrameWidget();
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(0, 0), picture->mapToGlobal(QPoint(0, 0)));
        QApplication::sendEvent(picture, &click);
        // Nothing to copy, stop, watch or record yet.
        QCOMPARE(texts,
                 QStringList({"Copy image (off)", "Stop\tEsc (off)", "Live view (off)", "Record... (off)",
                              "-", "Zoom 1x", "Zoom 2x", "Zoom 3x", "-", "&About Panelgrab..."}));

        // Its About entry opens the modal About box: look at it and press OK from its own event loop.
        QString version;
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
            QVERIFY(about);
            version = about->findChild<QLabel*>(QStringLiteral("versionText"))->text();
            about->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        d.AboutAction()->trigger();
        QCOMPARE(version, QStringLiteral("Panelgrab Version 1.0"));
        QVERIFY(!QApplication::activeModalWidget());

        // Without a read, Esc keeps closing the window.
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
    }

    void iconImages() {
        for (int size : {16, 32}) {
            const QImage icon = DrawAppIcon(size);
            QCOMPARE(icon.size(), QSize(size, size));
            QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);                 // corners stay transparent
            QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255); // the phone fills the middle
            QVERIFY(icon.pixel(size / 2, size / 4) != icon.pixel(size / 2, size - 2)); // screen vs body
            QVERIFY(AppIcon().availableSizes().contains(QSize(size, size)));
        }
    }

    void portListShowsProductsIsListedAgainWhenOpenedAndConnectsByPath() {
        sim::SimulatedPhone phone(SmallPhone());
        std::string error;
        QVERIFY(phone.Start(error));
        const QString path = QString::fromStdString(phone.DevicePath());
        const QString described = path + QStringLiteral(" \u2014 Phone Modem");
        Window w(
            std::nullopt, 10ms, PortTiming::Fast(),
            {{phone.DevicePath(), "Phone Modem", "Maker", "", "0fce", "d0a1", ""}, FakePort(kNoSuchPort)});
        QComboBox* list = w.List(kIdPortList);
        QCOMPARE(Items(*list), QStringList({described, kNoSuchPort, "Simulated phone"}));
        QCOMPARE(list->currentIndex(), 0);

        w.Choose(kIdPortList, "Simulated phone");
        w.ports.push_back(FakePort("/dev/ttyACM3")); // plugged in after the start
        list->showPopup();
        QCOMPARE(Items(*list), QStringList({described, kNoSuchPort, "/dev/ttyACM3", "Simulated phone"}));
        QCOMPARE(list->currentText(), QStringLiteral("Simulated phone")); // the choice stays
        list->hidePopup();
        // A typed URL stays too, and is the port Connect and Read use.
        list->setEditText(QStringLiteral("rfc2217://lab-server:4001"));
        w.ports.erase(w.ports.begin() + 1);
        list->showPopup();
        list->hidePopup();
        QCOMPARE(Items(*list), QStringList({described, "/dev/ttyACM3", "Simulated phone"}));
        QCOMPARE(list->currentText(), QStringLiteral("rfc2217://lab-server:4001"));
        w.dialog->OnRead(); // no display list yet: refused at once, but the port is taken
        QCOMPARE(w.dialog->PortName(), std::string("rfc2217://lab-server:4001"));

        // A described port connects by its path.
        list->setCurrentIndex(0);
        QVERIFY(w.Connect());
        QCOMPARE(w.prompts.messages.size(), std::size_t(1)); // the refused Read's
        QCOMPARE(w.Title(), w.ConnectedTitle(path));
    }

    void rememberedPortAndBaud() {
        {
            Window first;
            first.List(kIdPortList)->setEditText(QString(kNoSuchPort));
            first.Choose(kIdBaudList, "115200");
            QVERIFY(first.Connect());
        }
        {
            Window second; // the port is not plugged in now: offered as text
            QCOMPARE(second.List(kIdPortList)->currentText(), QString(kNoSuchPort));
            QCOMPARE(second.List(kIdBaudList)->currentText(), QStringLiteral("115200"));
            second.Choose(kIdPortList, "Simulated phone");
            second.Choose(kIdBaudList, "auto");
            second.dialog->OnRead(); // refused (no display list), yet what it was asked with is kept
        }
        Window third; // "auto" is offered again: the rate is found again at the next Connect
        QCOMPARE(third.List(kIdPortList)->currentText(), QStringLiteral("Simulated phone"));
        QCOMPARE(third.List(kIdBaudList)->currentText(), QStringLiteral("auto"));
        // A damaged store is as good as none.
        QSettings().setValue(QStringLiteral("connection/baud"), QStringLiteral("fast"));
        Window fourth;
        QCOMPARE(fourth.dialog->PortName(), std::string("COM1"));
        QCOMPARE(fourth.List(kIdBaudList)->currentText(), QStringLiteral("9600"));
    }

    // "auto" has the session try the rates; the window says what it does, the rate found is said and
    // used by Read. Stop ends the search.
    void autoBaudSaysTheSearchAndTheRateFoundOrThatItWasStopped() {
        sim::SimOptions strict = SmallPhone(115200);
        strict.strictBaud = true; // noise at any other rate
        Window w(strict);
        const QString port = QString::fromStdString(w.phone.DevicePath());
        w.Choose(kIdBaudList, "auto");
        w.dialog->OnConnect();
        QCOMPARE(w.Title(), "Panelgrab - finding the baud rate of " + port + "...");
        QCOMPARE(w.Status(), "Trying the baud rates on " + port + ", 921600 down to 1200...");
        QCOMPARE(w.State(), QStringLiteral("stop | busy"));
        QVERIFY(w.CallEnded());
        QCOMPARE(w.Title(), w.ConnectedTitle(port, 115200));
        QCOMPARE(w.Status(), "The phone answers on " + port +
                                 " at 115200 baud (the rate found by trying each) and lists 1 "
                                 "display(s): choose one and press Read.");
        QVERIFY(w.ReadToEnd());

        w.dialog->OnConnect();
        w.dialog->Stop();
        QVERIFY(w.CallEnded());
        QCOMPARE(w.Status(), QStringLiteral("The search for the baud rate was stopped."));
        QCOMPARE(w.Title(), QStringLiteral("Panelgrab - Not connected"));
        QCOMPARE(w.State(), QStringLiteral("connect |"));
    }

    // No AT dialect describes three displays: the third is added to a real list of two.
    void connectListsDisplaysAndReadsTheOneChosen() {
        sim::SimOptions twoDisplays = SmallPhone();
        twoDisplays.dialect = sim::Dialect::TwoDisplays;
        twoDisplays.displays.push_back({24, 16, 16});
        Window w(twoDisplays);
        w.shaping.rewriteDisplays = [](DisplayList& list) { list.emplace_back(8, 4, 16, 64, 2); };
        QVERIFY(w.Connect());
        QCOMPARE(w.DisplayItems(), QStringList({"Screen 1 (40x30)", "Screen 2 (24x16)", "Screen 3 (8x4)"}));
        QCOMPARE(w.List(kIdDisplayList)->currentIndex(), 0);
        QCOMPARE(w.State(), QStringLiteral("connect displays read |"));  // Connect keeps no connection
        QCOMPARE(w.dialog->PictureFrameWidget()->size(), QSize(81, 61)); // fitted to the first display
        // After a Read, choosing the second display drops the picture, fits the frame, and reads it.
        QVERIFY(w.ReadToEnd());
        QComboBox* displays = w.List(kIdDisplayList);
        displays->setCurrentIndex(1);
        emit displays->activated(1); // as when the user picks it
        QVERIFY(!w.ReadFinished());
        QVERIFY(!w.dialog->Picture());
        QCOMPARE(w.dialog->PictureFrameWidget()->size(), QSize(49, 33));
        QVERIFY(w.ReadToEnd());
        QCOMPARE(w.shaping.destroyed, 2); // Connect's object and the first read's, released in turn
        QVERIFY(FrameShows(w, w.Expected(1)));
    }

    // The session words a failed Connect (tests/session holds the words alike in every front end);
    // the window shows them in its message box and its status line, with its own controls named in
    // the advice, and leaves nothing to read. The phone call runs beside the window, which looks busy
    // meanwhile.
    void failedConnectShowsTheSessionsWordsAndEmptiesTheList() {
        test::PtyPeer refusing; // answers AT, refuses both display-list dialects whatever the retries
        QVERIFY(refusing.ok());
        refusing.Respond("AT\r\r\nOK\r\n");
        for (int i = 0; i < 8; ++i) {
            refusing.Expect().AnswerError();
        }
        refusing.Start();
        const struct {
            const char* name;
            QString port; // empty: the window's simulated phone, silent
            QString said; // %1: the port
            bool opened;  // the title names the port
        } cases[] = {
            {"missing device", kNoSuchPort,
             "%1: Unable to open com port. Some other application may be using it. (no such device) Check "
             "the port name (the port list lists the ports) and the cable.",
             false},
            {"refused display list", QString::fromStdString(refusing.SlavePath()),
             "%1: reading the display list failed: Communications with the phone have failed. The phone "
             "responded with error to the last AT-command.",
             true},
            {"bad simulated phone", "sim:--no-such-option",
             "%1: the simulated phone could not be started: unknown option --no-such-option", false},
            {"silent phone", "",
             "%1: Phone is not responding. Check that the phone is on and connected, and the baud rate (the "
             "baud list).",
             false},
        };
        const sim::SimOptions silent = SmallPhone(0, "silent");
        for (const auto& c : cases) {
            Window w(c.port.isEmpty() ? std::optional(silent) : std::nullopt);
            const QString port = c.port.isEmpty() ? QString::fromStdString(w.phone.DevicePath()) : c.port;
            w.List(kIdPortList)->setEditText(port);
            QTest::keyClick(w.List(kIdPortList)->lineEdit(), Qt::Key_Return); // where Enter elsewhere quits
            QCOMPARE(w.State(), QStringLiteral("| busy"));
            QCOMPARE(w.dialog->cursor().shape(), Qt::BusyCursor);
            QVERIFY(w.CallEnded());
            QCOMPARE(w.prompts.messages, (Said{{c.said.arg(port), ""}}));
            QCOMPARE(w.Status(), c.said.arg(port));
            QCOMPARE(w.Title(),
                     c.opened ? w.ConnectedTitle(port) : QStringLiteral("Panelgrab - Not connected"));
            QVERIFY2(w.State() == QStringLiteral("connect | said") && w.DisplayItems().empty(), c.name);
            QCOMPARE(w.dialog->cursor().shape(), Qt::ArrowCursor);
        }
        refusing.Stop();
    }

    void impossibleOrNoDisplaysLeaveNothingToRead() {
        Window w(SmallPhone());
        const QSize before = w.dialog->size();
        w.shaping.rewriteDisplays = [](DisplayList& list) {
            list.emplace_back(5000, 5000, 16, 20000, 1); // sides beyond any display
            list.emplace_back(4000, 4000, 16, 20000, 2); // a picture text of 80 million characters
        };
        QVERIFY(w.Connect());
        QCOMPARE(w.DisplayItems(), QStringList{"Screen 1 (40x30)"});
        QCOMPARE(w.prompts.messages,
                 (Said{{"The phone reported a display too large to read.",
                        "Left out of the display list: Screen 2 (5000x5000), Screen 3 (4000x4000)."}}));
        QCOMPARE(w.State(), QStringLiteral("connect displays read | said"));
        QCOMPARE(w.dialog->size(), before);

        // Nothing left to read: no Read, no frame filling the screen.
        w.shaping.rewriteDisplays = [](DisplayList& list) {
            list.assign(1, DisplayInfo(5000, 5000, 16, 20000, 0));
        };
        QVERIFY(w.Connect());
        QCOMPARE(w.DisplayItems(), QStringList{});
        QCOMPARE(w.State(), QStringLiteral("connect | said"));
        QCOMPARE(w.dialog->size(), before);
        QVERIFY(w.Status().startsWith(QStringLiteral("The phone reported a display too large")));

        // An empty list leaves the list usable, and Read says there is nothing chosen.
        w.shaping.rewriteDisplays = [](DisplayList& list) { list.clear(); };
        w.prompts.messages.clear();
        QVERIFY(w.Connect());
        QCOMPARE(w.State(), QStringLiteral("connect displays read |"));
        w.dialog->OnRead();
        QCOMPARE(w.prompts.messages, (Said{{"No display selected!", ""}}));
        QCOMPARE(w.State(), QStringLiteral("connect | said"));
    }

    void simulatedPhonesFromThePortFieldAreReadAndDrawnAtEveryZoom() {
        Window w(SmallPhone());
        w.SelectPort(QStringLiteral("Simulated phone"));
        w.Choose(kIdBaudList, "921600");
        QVERIFY(w.Connect());
        const QString title = w.ConnectedTitle(QStringLiteral("Simulated phone"), 921600);
        QCOMPARE(w.Title(), title);
        w.dialog->OnRead();
        QCOMPARE(w.State(), QStringLiteral("stop | busy")); // while the read's port opens
        WAIT_UNTIL(w.ReadFinished());
        // The phone is closed but kept: its read job owns the picture.
        QCOMPARE(w.State(), QStringLiteral("connect displays read save live | phone picture"));
        QCOMPARE(w.Title(), title);

        // Other enlargements from the picture's menu; the frame follows.
        for (const int zoom : {2, 3, 1}) {
            w.dialog->ZoomAction(zoom)->trigger();
            QVERIFY(FrameShows(w, w.Expected(), zoom));
        }

        // Options typed after "sim:" run such a phone; the narrow field's whole text is in its tooltip.
        QComboBox* ports = w.List(kIdPortList);
        QVERIFY(ports->toolTip().contains(QStringLiteral("sim:OPTIONS")));
        const QString typed = QStringLiteral("sim:--display=24x16:16,--animate");
        ports->setEditText(typed);
        QVERIFY(ports->toolTip().startsWith(typed + "\n"));
        QVERIFY(w.ConnectAndRead());
        QVERIFY(w.prompts.messages.empty());
        QCOMPARE(w.DisplayItems(), QStringList{"Screen 1 (24x16)"});
        QCOMPARE(w.Title(), w.ConnectedTitle(typed, 921600));
    }

    // The opening read of every line counts its lines; a still screen records one frame however
    // long, and recording starts and stops while the live view goes on; Esc ends the live view and
    // leaves the window and the picture; a Read ends it, and one that cannot open its port keeps the
    // live picture; closing the window writes a recording that runs.
    void liveViewOfAStillScreenRecordsOneFrameAndOutlivesAFailedRead() {
        Window w(SmallPhone(115200)); // the opening read, line by line, can be watched
        QVERIFY(w.ConnectAndRead());
        auto* liveButton = qobject_cast<QPushButton*>(w.dialog->Control(kIdLiveView));
        liveButton->click();
        QVERIFY(liveButton->isChecked());
        WAIT_UNTIL(w.dialog->IsLive());
        const QString opening(
            "Live view of Screen 1 \\(40x30\\): reading every line first, [1-9]\\d*/30 lines.*");
        WAIT_UNTIL(!Matched(opening, w.Status()).isEmpty());
        QVERIFY(w.Title().contains(QStringLiteral(" - live view, reading ")));
        WAIT_UNTIL(w.Status().contains(QStringLiteral("refreshes/s")));
        QCOMPARE(w.State(), QStringLiteral("connect displays read save stop live | phone picture is-live"));

        const QString still = w.prompts.saveAnswer = w.ScratchFile("still.png");
        w.dialog->RecordAction()->trigger();
        WAIT_UNTIL(w.Status().endsWith(QStringLiteral("; recording still.png: 1 frame.")));
        QTest::qWait(300); // refreshes of the same picture
        w.RecordButton()->click();
        QCOMPARE(w.State(), QStringLiteral("connect displays read save stop live | phone picture is-live"));
        const QString recorded = "Recorded 1 frame in " + QDir::toNativeSeparators(still) + ".";
        QVERIFY2(w.Status().endsWith(recorded), qPrintable(w.Status()));
        const std::vector<test::ApngFrame> frames = RecordedFrames(still);
        QCOMPARE(frames.size(), std::size_t(1));
        QCOMPARE(ImageOf(frames[0].shown), w.Expected());

        QTest::keyClick(w.dialog.get(), Qt::Key_Escape);
        QVERIFY(w.dialog->isVisible());
        QCOMPARE(w.State(), QStringLiteral("connect displays read save live | phone picture"));
        QCOMPARE(w.Status(), "Live view stopped. " + recorded);
        QVERIFY(FrameShows(w, w.Expected()));

        w.dialog->LiveViewAction()->trigger();
        WAIT_UNTIL(w.dialog->IsLive());
        w.SelectPort(kNoSuchPort);
        w.dialog->OnRead();
        QVERIFY(!w.dialog->IsLive());
        QVERIFY(!w.dialog->LiveViewAction()->isChecked());
        QVERIFY(w.CallEnded());
        QCOMPARE(w.prompts.messages.size(), std::size_t(1));
        QVERIFY(FrameShows(w, w.Expected()));
        QCOMPARE(w.State(), QStringLiteral("connect save live | phone picture said"));

        w.SelectPort(QString::fromStdString(w.phone.DevicePath()));
        QVERIFY(w.ConnectAndRead());
        const QString closing = w.prompts.saveAnswer = w.ScratchFile("closing.png");
        w.dialog->OnRecord();
        WAIT_UNTIL(w.Status().endsWith(QStringLiteral("; recording closing.png: 1 frame.")));
        w.dialog->reject();
        QCOMPARE(RecordedFrames(closing).size(), std::size_t(1));
        QVERIFY(w.prompts.errors.empty());
    }

    // The phone goes away inside a read, or inside a live view being recorded: either ends by itself,
    // says why in the session's words, keeps the picture (and the recording's file whole) and asks
    // nothing.
    void phoneGoingAwayEndsTheReadOrLiveViewSayingWhy() {
        const struct {
            const char* fault;
            bool record;   // a live view recorded after the first Read
            QString said;  // how the status line starts; %1 the port, ROWS the rows shown
            QString title; // what the title holds
        } cases[] = {
            {"hangup-after=4000", false, "%1: the read ended after ROWS of 30 lines: Communications",
             "picture incomplete: Communications"},
            {"hangup-after=30000", true, "%1: the live view ended: Communications", " - live view ended"},
        };
        for (const auto& c : cases) {
            Window w(SmallPhone(0, c.fault));
            QVERIFY(w.ConnectAndRead());
            const QString path = w.prompts.saveAnswer = w.ScratchFile("flow.png");
            if (c.record) {
                w.dialog->OnRecord();
                WAIT_UNTIL(!w.dialog->IsBusy() && !w.dialog->IsLive());
                QVERIFY(w.Status().endsWith(
                    QStringLiteral("check the cable and that the phone is on. Recorded 1 frame in ") +
                    QDir::toNativeSeparators(path) + "."));
                QCOMPARE(RecordedFrames(path).size(), std::size_t(1));
            }
            const QString said = QString(c.said)
                                     .replace(QStringLiteral("ROWS"), QString::number(w.dialog->RowsShown()))
                                     .arg(QString::fromStdString(w.phone.DevicePath()));
            QVERIFY2(w.Status().startsWith(said), qPrintable(w.Status()));
            QVERIFY2(w.Title().contains(c.title), qPrintable(w.Title()));
            QCOMPARE(w.State(), QStringLiteral("connect displays read save live | phone picture"));
        }
    }

    // Record... asks for the file and starts the live view, whose worker pushes each refresh: with no
    // timer to poll, every change of the animated phone reaches the picture, only the rows and
    // columns fetched are painted again, and each picture becomes a frame of an animated PNG. Esc
    // ends both and writes the file whole.
    void recordingFollowsTheAnimatedPhoneThroughThePushedLiveView() {
        sim::SimOptions animated; // a white block moving a pixel every step
        animated.animation = {.block = true, .periodMs = 250};
        Window w(animated, std::chrono::hours(1)); // no tick but the test's own
        QVERIFY(w.ConnectAndHoldRead());
        w.shaping.holdRead = false;
        w.dialog->OnTimer(); // the read's end
        QVERIFY(w.ReadFinished());
        w.dialog->SetZoom(1);
        const QString path = w.prompts.saveAnswer = w.ScratchFile("flow.png");
        w.RecordButton()->click();
        QCOMPARE(w.prompts.saveRequests.size(), std::size_t(1));
        QCOMPARE(w.prompts.saveRequests[0].mid(0, 2),
                 QStringList({"Record the live view", "Animated PNG images (*.png)"}));
        QVERIFY(w.prompts.saveRequests[0][2].endsWith(QStringLiteral(".png")));
        QCOMPARE(w.RecordButton()->text(), QStringLiteral("Stop recording"));
        WAIT_UNTIL(w.dialog->IsLive() && !w.dialog->IsLiveOpening());
        QCOMPARE(w.State(),
                 QStringLiteral("connect displays read save stop live | phone picture is-live recording"));

        PaintRecorder painted(*w.dialog->PictureFrameWidget());
        Picture shown;
        uint64_t version = 0;
        QVERIFY(w.phone.CurrentPicture(0, shown, version));
        WAIT_UNTIL(painted.regions.size() >= 3);
        const sim::ScreenBox block = sim::MovingBlockBox();
        for (const QRegion& region : painted.regions) {
            const QRect bounds = region.boundingRect();
            QVERIFY(bounds.top() >= block.top - 8 && bounds.bottom() <= block.bottom + 8 &&
                    bounds.width() < w.dialog->CurrentDisplay()->width);
        }
        for (int change = 0; change < 3; ++change) {
            WAIT_UNTIL(FrameShowsTheLatestPicture(w, version));
            QVERIFY(w.phone.CurrentPicture(0, shown, version));
        }
        const QRegularExpression recording(
            QStringLiteral("refreshes/s.*; recording flow\\.png: (\\d+) frames?\\.$"));
        WAIT_UNTIL(recording.match(w.Status()).captured(1).toInt() >= 4);

        QTest::keyClick(w.dialog.get(), Qt::Key_Escape);
        QCOMPARE(w.State(), QStringLiteral("connect displays read save live | phone picture"));
        QCOMPARE(w.RecordButton()->text(), QStringLiteral("Record..."));
        const std::vector<test::ApngFrame> frames = RecordedFrames(path);
        QVERIFY(frames.size() >= 4);
        QCOMPARE(w.Status(), QStringLiteral("Live view stopped. Recorded %1 frames in %2.")
                                 .arg(frames.size())
                                 .arg(QDir::toNativeSeparators(path)));
        const std::vector<Picture> steps = BlockSteps(w.simOptions);
        for (std::size_t i = 0; i < frames.size(); ++i) { // whole pictures of the phone, none torn
            QVERIFY2(std::find(steps.begin(), steps.end(), frames[i].shown) != steps.end(),
                     qPrintable(QStringLiteral("frame %1").arg(i)));
        }
    }

    void ticksDrawOnlyNewBandsAndShowProgress() {
        Window w(SmallPhone(), std::chrono::hours(1)); // the test ticks by hand
        w.shaping.progressCap = 0;
        QVERIFY(w.ConnectAndHoldRead());
        const auto line = static_cast<int32_t>(w.dialog->CurrentDisplay()->lineLength);
        const QRect frame = w.dialog->PictureFrameWidget()->rect();
        // Each tick sees the progress capped at `cap` (-1: the read has ended) and paints the band of
        // the lines new since the last, and the line after them; a short read says nothing of time
        // before its first lines.
        const struct {
            int32_t cap;
            std::vector<QRegion> painted;
            uint16_t linesShown;
            QString title; // after the connected title, a pattern
        } ticks[] = {
            {line - 1, {}, 0, " - reading 0/30 lines"},
            {3 * line, {w.Band(0, 4)}, 3, " - reading 3/30 lines, .* left"},
            {3 * line + 1, {}, 3, " - reading 3/30 lines, .* left"},   // the same or fewer lines draw nothing
            {2 * line + 1, {}, 3, " - reading \\d/30 lines, .* left"}, // fewer: a real read never goes back
            {10 * line + 5, {w.Band(3, 11)}, 10, " - reading 10/30 lines, .* left"},
            // The last band reaches a line beyond the last, which the frame's bottom line cuts off.
            {-1, {w.Band(10, 31).intersected(frame)}, 0, ""},
        };
        PaintRecorder painted(*w.dialog->PictureFrameWidget());
        for (const auto& t : ticks) {
            painted.regions.clear();
            w.shaping.progressCap = t.cap;
            w.shaping.holdRead = t.cap >= 0;
            w.dialog->OnTimer();
            QCOMPARE(painted.regions, t.painted);
            if (t.cap >= 0) { // the ended read's picture is drawn whole
                QCOMPARE(w.dialog->LinesShown(), t.linesShown);
            }
            QCOMPARE(Matched(QRegularExpression::escape(w.ConnectedTitle()) + t.title, w.Title()), w.Title());
        }
        QCOMPARE(w.State(), QStringLiteral("connect displays read save live | phone picture"));
        QVERIFY(FrameShows(w, w.Expected()));
    }

    void connectDuringReadReleasesItAndStopCallsOffAReadNotBegun() {
        Window w(SmallPhone(), std::chrono::hours(1));
        QVERIFY(w.ConnectAndHoldRead());
        w.dialog->OnTimer();
        // Connect stays usable during a read.
        QCOMPARE(w.State(), QStringLiteral("connect stop | phone picture reading polling"));

        QVERIFY(w.Connect());
        QCOMPARE(w.shaping.destroyed, 3); // the first Connect's, the read's and the second Connect's
        QCOMPARE(w.State(), QStringLiteral("connect displays read |")); // the dropped read is not polled
        PaintRecorder painted(*w.dialog->PictureFrameWidget());
        w.dialog->OnTimer();
        QVERIFY(painted.regions.empty());

        // A Read whose open would fail is called off first, saying nothing; the unopened object stays.
        w.shaping.holdRead = false;
        w.SelectPort(kNoSuchPort);
        w.dialog->OnRead();
        qobject_cast<QPushButton*>(w.dialog->Control(kIdStop))->click();
        QVERIFY(w.CallEnded());
        QCOMPARE(w.State(), QStringLiteral("connect displays read | phone"));
        // A refused Read leaves no timer that could take the unopened phone object for a finished read.
        w.dialog->OnRead();
        QVERIFY(w.CallEnded());
        QCOMPARE(w.prompts.messages.size(), std::size_t(1));
        QCOMPARE(w.State(), QStringLiteral("connect | phone said"));
    }

    void stoppedReadKeepsWhatArrivedAndTheNextConnectWaitsForThePhone() {
        // A drain sees the line quiet only when the phone has finished.
        PortTiming steady = PortTiming::Fast();
        steady.readWait = 50ms; // far above the phone's pauses between the pieces it sends
        Window w(SmallPhone(230400), 10ms, steady); // the 40x30 picture takes about 0.4 s
        QVERIFY(w.Connect());
        QVERIFY(w.StartRead());
        WAIT_UNTIL(w.dialog->LinesShown() >= 2);
        QTest::keyClick(w.dialog.get(), Qt::Key_Escape); // Esc stops the read, not the program
        QVERIFY(w.dialog->isVisible());
        // The counts are the rows drawn; below them the frame stays grey.
        const int rows = w.dialog->RowsShown();
        QVERIFY2(rows >= 2 && rows < 30, qPrintable(w.Status()));
        QCOMPARE(w.Status(), QStringLiteral("Stopped after %1 of 30 lines.").arg(rows));
        QVERIFY(w.Title().endsWith(QStringLiteral(" - reading stopped after %1 of 30 lines").arg(rows)));
        const QColor grey = w.dialog->PictureFrameWidget()->palette().color(QPalette::Window);
        const QImage shown = w.dialog->grab(QRect(w.dialog->PictureOrigin(), QSize(80, 60))).toImage();
        QCOMPARE(shown.pixelColor(1, 2 * rows - 1).rgb(), w.Expected().pixelColor(0, rows - 1).rgb());
        QCOMPARE(shown.pixelColor(1, 2 * rows + 1).rgb(), grey.rgb());

        // What arrived can be saved, as it is shown, once the user has agreed to save a part.
        QCOMPARE(w.State(), QStringLiteral("connect displays read save live | phone picture"));
        const QString path = w.prompts.saveAnswer = w.ScratchFile("partial.png");
        w.prompts.yesAnswer = false;
        w.dialog->OnSave();
        QVERIFY(w.prompts.saveRequests.empty());
        w.prompts.yesAnswer = true;
        w.dialog->OnSave();
        QCOMPARE(w.prompts.questions,
                 QStringList(2, QStringLiteral("Only %1 of 30 lines were read. Save anyway?").arg(rows)));
        QCOMPARE(w.prompts.saveRequests.size(), std::size_t(1));
        QImage partial = w.Expected(); // the rows that arrived, grey below them
        QPainter(&partial).fillRect(0, rows, 40, 30 - rows, grey);
        QCOMPARE(SavedImage(path), partial);
        QCOMPARE(w.Status(), "Saved " + QDir::toNativeSeparators(path));

        // The phone still sends the rest of its picture: Connect waits for it, visibly, and then works.
        w.dialog->OnConnect();
        QVERIFY(w.Title().startsWith(
            QStringLiteral("Panelgrab - waiting for the phone to finish sending (at most ")));
        QVERIFY(w.CallEnded());
        QCOMPARE(w.prompts.messages, Said{});
        QCOMPARE(w.DisplayItems(), QStringList{"Screen 1 (40x30)"});
    }

    void largeDisplaysAreVisibleOrScrollableAtDoubleSize() {
        for (const auto& [width, height] : {std::pair(240, 320), std::pair(480, 800)}) {
            sim::SimOptions large;
            large.displays = {{width, height, 16}};
            Window w(large);
            const QSize before = w.dialog->size();
            QVERIFY(w.Connect());
            QCoreApplication::processEvents();
            const QSize frame(2 * width + 1, 2 * height + 1);
            QCOMPARE(w.dialog->PictureFrameWidget()->size(), frame);
            // The window grew, but stays within the screen.
            QVERIFY(w.dialog->width() > before.width() || w.dialog->height() > before.height());
            QVERIFY(w.dialog->screen()->availableGeometry().contains(w.dialog->frameGeometry()));
            // What the area does not show, its scroll bars reach.
            PictureArea* area = w.dialog->PictureAreaWidget();
            const QSize view = area->viewport()->size();
            QCOMPARE(area->horizontalScrollBar()->maximum(), std::max(0, frame.width() - view.width()));
            QCOMPARE(area->verticalScrollBar()->maximum(), std::max(0, frame.height() - view.height()));
            QVERIFY(area->width() <= w.dialog->width() && area->height() <= w.dialog->height());
            if (width > 240) {
                continue; // the larger one is only sized: reading it takes seconds
            }
            // A smaller zoom gives the room back; a larger one takes it again.
            const QSize grown = w.dialog->size();
            w.dialog->SetZoom(1);
            QCOMPARE(w.dialog->size(), before);
            w.dialog->SetZoom(2);
            QCOMPARE(w.dialog->size(), grown);
            // The whole picture arrives and its far corner can be scrolled into view.
            QVERIFY(w.ReadToEnd());
            area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
            const QImage shot = area->viewport()->grab().toImage();
            const QPoint corner(view.width() - 2, view.height() - 2); // the last display pixel's block
            QCOMPARE(shot.pixelColor(corner).rgb(), w.Expected().pixelColor(width - 1, height - 1).rgb());
            const QPoint edge(view.width() - 1, view.height() / 2); // the frame's right line
            QCOMPARE(shot.pixelColor(edge), QColor(Qt::black));
        }
    }

    void saveAsPngOrBmpByNameWithASuggestedName() {
        Window w(SmallPhone());
        // No picture yet: nothing copied, and Save asks for no name and says why.
        QGuiApplication::clipboard()->clear();
        w.dialog->CopyImageAction()->trigger();
        QVERIFY(QGuiApplication::clipboard()->image().isNull());
        w.dialog->OnSave();
        QVERIFY(w.prompts.saveRequests.empty());
        QCOMPARE(w.prompts.errors,
                 (Said{{"Save Error", "Could not save image: the read brought no picture"}}));
        w.prompts.errors.clear();

        QVERIFY(w.ConnectAndRead());
        const QImage expected = w.Expected();
        w.dialog->CopyImageAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888), expected);

        w.dialog->OnSave(); // cancelled: nothing written, nothing said
        QCOMPARE(w.prompts.saveRequests.size(), std::size_t(1));
        const QStringList asked = w.prompts.saveRequests[0];
        QCOMPARE(asked.mid(0, 2),
                 QStringList({"Save reference image", "Bitmap files (*.bmp);;PNG images (*.png)"}));
        QCOMPARE(Matched("screen1-\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.bmp", asked[2]), asked[2]);
        QVERIFY(QDir(w.scratch.path()).isEmpty());

        // The name's ending chooses the format, in either letter case; a second save replaces the first.
        const std::pair<const char*, const char*> formats[] = {
            {"reference.bmp", "BM"}, {"reference.png", "\x89PNG"}, {"reference.PNG", "\x89PNG"}};
        for (const auto& [name, start] : formats) {
            const QString path = w.prompts.saveAnswer = w.ScratchFile(name);
            for (int time = 0; time < 2; ++time) {
                w.dialog->OnSave();
                QVERIFY(test::ReadFile(QFile::encodeName(path).toStdString()).starts_with(start));
                QVERIFY2(SavedImage(path) == expected, name);
            }
        }
        QVERIFY(w.prompts.errors.empty());

        // A file that cannot be made, to save or to record to, is refused naming the path and the reason
        // before anything starts; an earlier file stays.
        const QString missing = QString::fromLocal8Bit(strerror(ENOENT));
        const struct {
            void (MainDialog::*action)();
            const char* name;
            const char* caption;
            QString said; // %1: the path
        } refused[] = {{&MainDialog::OnSave, "no-such-folder/reference.bmp", "Save Error",
                        "Could not save image to %1: " + missing},
                       {&MainDialog::OnSave, "reference.jpg", "Save Error",
                        "Could not save image to %1: the name must end in .png or .bmp"},
                       {&MainDialog::OnRecord, "no-such-folder/flow.png", "Record Error",
                        "Could not record to %1: " + missing},
                       {&MainDialog::OnRecord, "flow.gif", "Record Error",
                        "Could not record to %1: the name must end in .png"}};
        for (const auto& r : refused) {
            w.prompts.errors.clear();
            const QString path = w.prompts.saveAnswer = w.ScratchFile(r.name);
            (w.dialog.get()->*r.action)();
            QCOMPARE(w.prompts.errors, (Said{{r.caption, r.said.arg(path)}}));
            QVERIFY(!QFile::exists(path));
        }
        QCOMPARE(w.State(), QStringLiteral("connect displays read save live | phone picture error"));
        QCOMPARE(QImage(w.ScratchFile("reference.bmp")).size(), QSize(40, 30));
        QCOMPARE(SuggestedSaveName(2, QDateTime(QDate(2024, 5, 17), QTime(14, 30, 5)), QStringLiteral("png")),
                 QStringLiteral("screen2-2024-05-17-143005.png"));
    }

    // A read of a whole display at 1200 baud takes minutes; the probe of a silent phone whose reads
    // wait an hour takes hours. Closing ends either at once: left running, they would outlast the
    // test's time-out.
    void closingEndsARunningReadOrPhoneCall() {
        for (const bool reading : {true, false}) {
            sim::SimOptions options;
            options.baud = reading ? 1200 : 0;
            options.fault = reading ? "" : "silent";
            PortTiming timing;
            timing.readWait = reading ? timing.readWait : std::chrono::hours(1);
            Window w(options, std::chrono::hours(1), timing);
            if (reading) {
                QVERIFY(w.Connect());
                QVERIFY(w.StartRead());
                // A long read says how long it will take from the start.
                QVERIFY2(w.Title().contains(QStringLiteral("lines, about ")), qPrintable(w.Title()));
                QVERIFY(w.dialog->IsPolling());
                QVERIFY(w.lastPhone->InnerReadRunning());
            } else {
                w.dialog->OnConnect();
                QVERIFY(w.dialog->IsBusy());
            }
            w.dialog->reject();
            QCOMPARE(w.State(), QStringLiteral("connect |"));
        }
    }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
