// The window: its initial state and layout, then Connect, Read, the timer's bands, Save and copy
// through simulated phones on pseudo-terminals.
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/combo_selection.h"
#include "app/control_template.h"
#include "app/main_dialog.h"
#include "app/window_templates.h"
#include "recording_prompts.h"
#include "shaped_phone.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "support/pty_peer.h"
#include "transport/port_names.h"

using namespace panelgrab;
using namespace std::chrono_literals;

namespace {

constexpr int kReadLimitMs = 20000;

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

// A phone with one display of 40x30, or two displays (the second of 24x16).
sim::SimOptions SmallPhone(int displays = 1) {
    sim::SimOptions options;
    options.displays = {{40, 30, 16}};
    if (displays == 2) {
        options.dialect = sim::Dialect::TwoDisplays;
        options.displays.push_back({24, 16, 16});
    }
    return options;
}

QStringList Items(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) {
        items << list.itemText(i);
    }
    return items;
}

// A window wired to a simulated phone of its own, with test timing and recorded prompts.
struct Bench {
    explicit Bench(sim::SimOptions phoneOptions, std::chrono::milliseconds poll = 10ms,
                   PortTiming timing = PortTiming::Fast())
        : simOptions(phoneOptions), phone(phoneOptions) {
        std::string error;
        started = phone.Start(error);
        MainDialogOptions options;
        options.timing = timing;
        options.pollPeriod = poll;
        options.releasePause = 5ms;
        options.prompts = &prompts;
        options.simulatedPhone = phoneOptions;
        options.createPhone = test::ShapedPhoneFactory(shaping, &lastPhone);
        dialog = std::make_unique<MainDialog>(options);
        SelectPort(QString::fromStdString(phone.DevicePath()));
        dialog->show();
    }

    QComboBox* List(int id) const { return qobject_cast<QComboBox*>(dialog->Control(id)); }
    void SelectPort(const QString& name) {
        QComboBox* ports = List(kIdPortList);
        if (ports->findText(name) < 0) {
            ports->addItem(name);
        }
        ports->setCurrentIndex(ports->findText(name));
    }
    QStringList DisplayItems() const { return Items(*List(kIdDisplayList)); }
    bool ReadFinished() const { return dialog->Control(kIdSave)->isEnabled(); }
    bool ReadToEnd() {
        dialog->OnRead();
        return QTest::qWaitFor([this] { return ReadFinished(); }, kReadLimitMs);
    }
    QRect Band(int fromLine, int toLineExclusive) const {
        const QPoint o = dialog->PictureOrigin();
        return QRect(o.x(), o.y() + 2 * fromLine, 2 * dialog->CurrentDisplay()->width,
                     2 * (toLineExclusive - fromLine));
    }

    sim::SimOptions simOptions;
    sim::SimulatedPhone phone;
    bool started = false;
    test::RecordingPrompts prompts;
    test::ReadShaping shaping;
    test::ShapedPhone* lastPhone = nullptr;
    std::unique_ptr<MainDialog> dialog;
};

// What display `index` of the simulated phone shows, as a picture.
QImage ExpectedImage(const sim::SimOptions& options, std::size_t index) {
    const sim::RgbImage expected = sim::ExpectedPicture(options, index);
    QImage image(expected.width, expected.height, QImage::Format_RGB888);
    for (int y = 0; y < expected.height; ++y) {
        std::copy_n(expected.At(0, y), 3 * expected.width, image.scanLine(y));
    }
    return image;
}

// Whether the frame shows display `index` with every pixel as a 2x2 block, and the frame's right
// and bottom lines beside it.
bool FrameShowsPicture(MainDialog& dialog, const sim::SimOptions& options, std::size_t index) {
    const QImage expected = ExpectedImage(options, index);
    const QSize size = 2 * expected.size();
    const QImage shot = dialog.grab(QRect(dialog.PictureOrigin(), size + QSize(1, 1))).toImage();
    return shot.copy(QRect(QPoint(), size)).convertToFormat(QImage::Format_RGB888) ==
               expected.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation) &&
           shot.pixelColor(size.width(), size.height() / 2) == QColor(Qt::black) &&
           shot.pixelColor(size.width() / 2, size.height()) == QColor(Qt::black);
}

const int kControls[] = {kIdPortList, kIdBaudList,     kIdSave, kIdDisplayList,
                         kIdRead,     kIdPictureFrame, kIdQuit, kIdConnect};

// A window with no phone, its prompts answered by the test.
struct Quiet {
    test::RecordingPrompts prompts;
    MainDialog dialog{[this] {
        MainDialogOptions options;
        options.prompts = &prompts;
        return options;
    }()};
};

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initialState() {
        Quiet w;
        QCOMPARE(w.dialog.windowTitle(), QStringLiteral("Panelgrab - Not connected"));
        auto* baud = qobject_cast<QComboBox*>(w.dialog.Control(kIdBaudList));
        QCOMPARE(Items(*baud),
                 QStringList({"1200", "2400", "9600", "19200", "115200", "230400", "460800", "921600"}));
        QCOMPARE(baud->currentText(), QStringLiteral("9600"));
        auto* ports = qobject_cast<QComboBox*>(w.dialog.Control(kIdPortList));
        QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Simulated phone"));
        QVERIFY(ports->currentIndex() >= 0);
        QCOMPARE(qobject_cast<QComboBox*>(w.dialog.Control(kIdDisplayList))->count(), 0);
        for (int id : kControls) {
            const bool enabled = id != kIdDisplayList && id != kIdRead && id != kIdSave;
            QVERIFY2(w.dialog.Control(id)->isEnabled() == enabled, qPrintable(QString::number(id)));
        }
        QVERIFY(!w.dialog.HoldsPhone());
        QCOMPARE(w.dialog.Settings().GetPortName(), std::string("COM1"));
        QCOMPARE(w.dialog.Settings().GetBaudRate(), 9600);
        // The frame keeps its corner when fitted, down to an empty display.
        QWidget* frame = w.dialog.Control(kIdPictureFrame);
        const QPoint corner = frame->pos();
        w.dialog.FitPictureFrame(0, 0);
        QCOMPARE(frame->geometry(), QRect(corner, QSize(1, 1)));
        QCOMPARE(w.dialog.PictureOrigin(), corner);
        QVERIFY(w.prompts.messages.empty());
    }

    void controlsLieApartInsideTheWindowAndStayOnResize() {
        Quiet w;
        w.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.dialog));
        std::vector<QRect> before;
        for (int id : kControls) {
            const QRect r = w.dialog.Control(id)->geometry();
            QVERIFY2(w.dialog.rect().contains(r) && !r.isEmpty(), qPrintable(QString::number(id)));
            for (std::size_t i = 0; i < before.size(); ++i) {
                QVERIFY2(!before[i].intersects(r),
                         qPrintable(QString("%1 overlaps %2").arg(id).arg(kControls[i])));
            }
            before.push_back(r);
        }
        for (const QSize size : {w.dialog.size() * 2, w.dialog.size() / 2}) {
            w.dialog.resize(size);
            QCoreApplication::processEvents();
            for (std::size_t i = 0; i < before.size(); ++i) {
                QCOMPARE(w.dialog.Control(kControls[i])->geometry(), before[i]);
            }
        }
    }

    void tabOrderFollowsTemplate() {
        Quiet w;
        QWidget* widget = w.dialog.Control(kIdPortList);
        for (int id : {kIdPortList, kIdBaudList, kIdSave, kIdDisplayList, kIdRead, kIdQuit, kIdConnect}) {
            QCOMPARE(widget->property("controlId").toInt(), id);
            do {
                widget = widget->nextInFocusChain();
            } while (!(widget->focusPolicy() & Qt::TabFocus) && widget != w.dialog.Control(kIdPortList));
        }
        QCOMPARE(widget, w.dialog.Control(kIdPortList)); // the chain closes after Connect
    }

    void prefixSelectionAndBaudText_data() {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("selected");
        QTest::newRow("COM1 finds COM10 when COM1 is missing") << QStringList{"COM2", "COM10"} << "COM1" << 1;
        QTest::newRow("COM1 before COM10") << QStringList{"COM10", "COM1", "COM11"} << "COM1" << 0;
        QTest::newRow("letter case ignored") << QStringList{"ttyS0", "ttyusb0"} << "TTYUSB" << 1;
        QTest::newRow("no match keeps no selection") << QStringList{"COM2", "COM3"} << "COM1" << -1;
    }

    void prefixSelectionAndBaudText() {
        QFETCH(QStringList, items);
        QFETCH(QString, prefix);
        QFETCH(int, selected);
        QComboBox list;
        list.addItems(items);
        list.setCurrentIndex(-1);
        QCOMPARE(SelectFirstWithPrefix(list, prefix), selected);
        QCOMPARE(list.currentIndex(), selected);

        QCOMPARE(LeadingDecimal(QStringLiteral("9600 baud")), 9600);
        QCOMPARE(LeadingDecimal(QStringLiteral("fast")), 0);
        QCOMPARE(LeadingDecimal(QString()), 0);
        QCOMPARE(LeadingDecimal(QStringLiteral("99999999999")), 2147483647);
    }

    void saveWithoutPictureWritesNothing() {
        Quiet w;
        w.dialog.OnSave();
        QVERIFY(w.prompts.saveRequests.empty()); // nothing to save: no file name is asked for
        QCOMPARE(w.prompts.errors, (std::vector<QStringList>{{"Save Error", "Could not save image"}}));
    }

    void enterClosesTheWindow() {
        Quiet w;
        w.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.dialog));
        w.dialog.Control(kIdBaudList)->setFocus();
        QTest::keyClick(w.dialog.Control(kIdBaudList), Qt::Key_Return);
        QVERIFY(!w.dialog.isVisible());
        QCOMPARE(w.dialog.result(), int(QDialog::Accepted));
    }

    void aboutEntryOpensAboutBox() {
        Quiet w;
        QCOMPARE(w.dialog.CopyImageAction()->shortcut(), QKeySequence(QKeySequence::Copy));
        QString version;
        // The About box is modal: look at it and press OK from inside its own event loop.
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
            QVERIFY(about);
            version = about->findChild<QLabel*>(QStringLiteral("versionText"))->text();
            about->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        w.dialog.AboutAction()->trigger();
        QCOMPARE(version, QStringLiteral("Panelgrab Version 1.0"));
        QVERIFY(!QApplication::activeModalWidget());
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

    void connectListsDisplays_data() {
        QTest::addColumn<int>("phoneKind");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("one") << 1 << QStringList{"Screen 1 (40x30)"};
        QTest::newRow("two") << 2 << QStringList{"Screen 1 (40x30)", "Screen 2 (24x16)"};
        QTest::newRow("three") << 3 << QStringList{"Screen 1 (40x30)", "Screen 2 (24x16)", "Screen 3 (8x4)"};
    }

    void connectListsDisplays() {
        QFETCH(int, phoneKind);
        QFETCH(QStringList, items);
        Bench bench(SmallPhone(phoneKind == 1 ? 1 : 2));
        QVERIFY(bench.started);
        if (phoneKind == 3) { // no AT dialect describes three displays: the third is added to a real list
            bench.shaping.rewriteDisplays = [](DisplayList& list) { list.emplace_back(8, 4, 16, 64, 2); };
        }
        bench.dialog->OnConnect();
        QVERIFY(bench.prompts.messages.empty());
        QCOMPARE(bench.DisplayItems(), items);
        QCOMPARE(bench.List(kIdDisplayList)->currentIndex(), 0);
        QVERIFY(bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(!bench.dialog->Control(kIdSave)->isEnabled());
        QCOMPARE(bench.dialog->windowTitle(),
                 QStringLiteral("Panelgrab - %1 9600").arg(bench.phone.DevicePath().c_str()));
        QVERIFY(!bench.dialog->HoldsPhone()); // Connect keeps no connection
        QCOMPARE(bench.shaping.destroyed, 1);
        QCOMPARE(bench.dialog->Control(kIdPictureFrame)->size(),
                 QSize(81, 61)); // fitted to the first display
    }

    void portListShowsProductsAndConnectsByPath() {
        sim::SimulatedPhone phone(SmallPhone());
        std::string error;
        QVERIFY(phone.Start(error));
        test::RecordingPrompts prompts;
        MainDialogOptions options;
        options.timing = PortTiming::Fast();
        options.prompts = &prompts;
        options.listPorts = [&phone] {
            return std::vector<PortInfo>{{phone.DevicePath(), "Phone Modem", "Maker", "", "0fce", "d0a1", ""},
                                         {"/dev/panelgrab-no-such-port", "", "", "", "", "", ""}};
        };
        MainDialog dialog(options);
        auto* ports = qobject_cast<QComboBox*>(dialog.Control(kIdPortList));
        const QString path = QString::fromStdString(phone.DevicePath());
        QCOMPARE(Items(*ports), QStringList({path + QStringLiteral(" \u2014 Phone Modem"),
                                             QStringLiteral("/dev/panelgrab-no-such-port"),
                                             QStringLiteral("Simulated phone")}));
        QCOMPARE(ports->currentIndex(), 0);
        dialog.OnConnect();
        QVERIFY(prompts.messages.empty());
        QCOMPARE(dialog.Settings().GetPortName(), phone.DevicePath());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Panelgrab - %1 9600").arg(path));
    }

    void connectToSilentOrMissingPort() {
        sim::SimOptions silent = SmallPhone();
        silent.fault = "silent";
        Bench bench(silent);
        QVERIFY(bench.started);
        bench.dialog->OnConnect();
        const QString path = QString::fromStdString(bench.phone.DevicePath());
        QCOMPARE(bench.prompts.messages.size(), std::size_t(1));
        QCOMPARE(bench.prompts.messages[0][0], QStringLiteral("Phone is not responding on port ") + path);
        QCOMPARE(bench.dialog->windowTitle(), QStringLiteral("Panelgrab - Not connected"));
        QCOMPARE(bench.List(kIdDisplayList)->count(), 0);
        QVERIFY(!bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(!bench.dialog->HoldsPhone());

        // A device that does not exist: same text, and the system's reason as detail.
        bench.SelectPort(QStringLiteral("/dev/panelgrab-no-such-port"));
        bench.dialog->OnConnect();
        QCOMPARE(bench.prompts.messages.size(), std::size_t(2));
        QCOMPARE(bench.prompts.messages[1],
                 QStringList({QStringLiteral("Phone is not responding on port /dev/panelgrab-no-such-port"),
                              QString::fromStdString(DescribeSystemError(ENOENT))}));
        QVERIFY(!bench.dialog->HoldsPhone());
    }

    void connectWhenDisplayListFails() {
        test::PtyPeer peer;
        QVERIFY(peer.ok());
        peer.Respond("AT\r\r\nOK\r\n");
        for (int i = 0; i < 8; ++i) { // both display-list dialects refused, whatever the retries
            peer.Expect().AnswerError();
        }
        peer.Start();
        Bench bench(SmallPhone());
        bench.SelectPort(QString::fromStdString(peer.SlavePath()));
        bench.dialog->OnConnect();
        QCOMPARE(bench.prompts.messages.size(), std::size_t(1));
        QCOMPARE(bench.prompts.messages[0][0],
                 QStringLiteral("Error: Could not read display info from phone"));
        QCOMPARE(bench.dialog->windowTitle(),
                 QStringLiteral("Panelgrab - %1 9600").arg(peer.SlavePath().c_str()));
        QCOMPARE(bench.List(kIdDisplayList)->count(), 0);
        QVERIFY(!bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(!bench.dialog->HoldsPhone());
        peer.Stop();
    }

    void emptyDisplayListRefusesRead() {
        Bench bench(SmallPhone());
        bench.shaping.rewriteDisplays = [](DisplayList& list) { list.clear(); };
        bench.dialog->OnConnect();
        QVERIFY(bench.prompts.messages.empty());
        QVERIFY(bench.List(kIdDisplayList)->isEnabled()); // enabled though empty
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());
        bench.dialog->OnRead();
        QCOMPARE(bench.prompts.messages.size(), std::size_t(1));
        QCOMPARE(bench.prompts.messages[0][0], QStringLiteral("No display selected!"));
        QVERIFY(!bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(!bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(!bench.dialog->IsPolling());
    }

    void builtInPhoneReadDrawsPictureAtDoubleSize() {
        Bench bench(SmallPhone());
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        bench.SelectPort(QStringLiteral("Simulated phone"));
        QComboBox* baud = bench.List(kIdBaudList);
        baud->setCurrentIndex(baud->findText(QStringLiteral("921600")));
        bench.dialog->OnConnect();
        QCOMPARE(bench.dialog->windowTitle(), QStringLiteral("Panelgrab - Simulated phone 921600"));
        QCOMPARE(bench.DisplayItems(), QStringList{"Screen 1 (40x30)"});
        bench.dialog->OnRead();
        QVERIFY(bench.dialog->IsPolling());
        QVERIFY(!bench.dialog->Control(kIdRead)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(bench.ReadFinished(), kReadLimitMs);
        QVERIFY(!bench.dialog->IsPolling());
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(bench.dialog->HoldsPhone()); // closed but kept: its read job owns the picture
        QVERIFY(bench.prompts.messages.empty());
        QVERIFY(FrameShowsPicture(*bench.dialog, bench.simOptions, 0));
    }

    void readEndingShortSaysWhyAndKeepsWhatArrived() {
        sim::SimOptions vanishing = SmallPhone();
        vanishing.fault = "hangup-after=4000"; // inside the picture of the first Read
        Bench bench(vanishing);
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        bench.dialog->OnConnect();
        QVERIFY(bench.ReadToEnd());
        QVERIFY(bench.dialog->windowTitle().contains(QStringLiteral("picture incomplete: Communications")));
        QVERIFY(bench.dialog->Picture());
        QVERIFY(bench.prompts.messages.empty());
    }

    void readSecondDisplayAfterSelectionChange() {
        Bench bench(SmallPhone(2));
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        bench.dialog->OnConnect();
        QVERIFY(bench.ReadToEnd());
        QComboBox* displays = bench.List(kIdDisplayList);
        displays->setCurrentIndex(1);
        emit displays->activated(1); // as when the user picks it
        QVERIFY(!bench.dialog->Control(kIdSave)->isEnabled());
        QVERIFY(!bench.dialog->Picture());
        QCOMPARE(bench.dialog->Control(kIdPictureFrame)->size(), QSize(49, 33));
        QVERIFY(bench.ReadToEnd());
        QCOMPARE(bench.shaping.destroyed, 2); // Connect's object and the first read's, released in turn
        QVERIFY(FrameShowsPicture(*bench.dialog, bench.simOptions, 1));
    }

    void ticksDrawOnlyNewBands() {
        Bench bench(SmallPhone(), std::chrono::hours(1)); // the test ticks by hand
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        bench.dialog->OnConnect();
        const uint32_t lineLength = bench.dialog->CurrentDisplay()->lineLength;
        bench.shaping.holdRead = true;
        bench.shaping.progressCap = 0;
        bench.dialog->OnRead();
        QTRY_VERIFY_WITH_TIMEOUT(!bench.lastPhone->InnerReadRunning(), kReadLimitMs);

        PaintRecorder painted(*bench.dialog);
        auto tick = [&](int32_t cap) {
            painted.regions.clear();
            bench.shaping.progressCap = cap;
            bench.dialog->OnTimer();
        };
        tick(static_cast<int32_t>(lineLength) - 1); // no complete line yet
        QVERIFY(painted.regions.empty());
        QCOMPARE(bench.dialog->LinesShown(), uint16_t(0));

        tick(static_cast<int32_t>(3 * lineLength));
        QCOMPARE(painted.regions,
                 std::vector<QRegion>{QRegion(bench.Band(0, 4))}); // three lines and the next
        QCOMPARE(bench.dialog->LinesShown(), uint16_t(3));

        for (uint32_t lines : {3u, 2u}) { // the same or fewer lines draw nothing
            tick(static_cast<int32_t>(lines * lineLength + 1));
            QVERIFY(painted.regions.empty());
            QCOMPARE(bench.dialog->LinesShown(), uint16_t(3));
        }
        tick(static_cast<int32_t>(10 * lineLength + 5));
        QCOMPARE(painted.regions, std::vector<QRegion>{QRegion(bench.Band(3, 11))});

        bench.shaping.holdRead = false; // the read has ended: the last band, and the controls back
        tick(-1);
        QCOMPARE(painted.regions, std::vector<QRegion>{QRegion(bench.Band(10, 31))});
        QVERIFY(!bench.dialog->IsPolling());
        QVERIFY(bench.ReadFinished());
        QVERIFY(FrameShowsPicture(*bench.dialog, bench.simOptions, 0));
    }

    void connectDuringReadReleasesIt() {
        Bench bench(SmallPhone(), std::chrono::hours(1));
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        bench.dialog->OnConnect();
        bench.shaping.holdRead = true;
        bench.dialog->OnRead();
        QVERIFY(bench.dialog->HoldsPhone());
        QTRY_VERIFY_WITH_TIMEOUT(!bench.lastPhone->InnerReadRunning(), kReadLimitMs);
        bench.dialog->OnTimer();
        QVERIFY(bench.dialog->Picture());

        bench.dialog->OnConnect();
        QCOMPARE(bench.shaping.destroyed, 3); // the first Connect's, the read's and the second Connect's
        QVERIFY(!bench.dialog->HoldsPhone());
        QVERIFY(!bench.dialog->Picture());
        QVERIFY(bench.dialog->IsPolling()); // the timer runs on and finds nothing to do
        QVERIFY(bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());
        PaintRecorder painted(*bench.dialog);
        bench.dialog->OnTimer();
        QVERIFY(painted.regions.empty());
        QVERIFY(!bench.dialog->Control(kIdSave)->isEnabled());

        // A refused Read stops that timer: its ticks would take the unopened phone object for a
        // finished read and enable the controls.
        bench.shaping.holdRead = false;
        bench.SelectPort(QStringLiteral("/dev/panelgrab-no-such-port"));
        bench.dialog->OnRead();
        QCOMPARE(bench.prompts.messages.size(), std::size_t(1));
        QVERIFY(bench.dialog->HoldsPhone());
        QVERIFY(!bench.dialog->IsPolling());
        QVERIFY(!bench.dialog->Control(kIdRead)->isEnabled());
    }

    void saveCopyCancelAndFailure() {
        Bench bench(SmallPhone());
        QGuiApplication::clipboard()->clear();
        bench.dialog->CopyImageAction()->trigger(); // no picture yet: nothing copied
        QVERIFY(QGuiApplication::clipboard()->image().isNull());
        bench.dialog->OnConnect();
        QVERIFY(bench.ReadToEnd());
        const QImage expected = ExpectedImage(bench.simOptions, 0);
        bench.dialog->CopyImageAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888), expected);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("reference.bmp"));
        bench.dialog->OnSave(); // cancelled: nothing written, nothing said
        QCOMPARE(bench.prompts.saveRequests,
                 (std::vector<QStringList>{{"Save reference image", "Bitmap files (*.bmp)", "bmp"}}));
        QVERIFY(QDir(folder.path()).isEmpty());
        for (int time = 0; time < 2; ++time) { // the second save replaces the first
            bench.prompts.saveAnswer = path;
            bench.dialog->OnSave();
            QCOMPARE(QImage(path).convertToFormat(QImage::Format_RGB888), expected);
        }
        QVERIFY(bench.prompts.errors.empty());
        QVERIFY(bench.dialog->Control(kIdSave)->isEnabled()); // Save changes no control

        bench.prompts.saveAnswer = folder.filePath(QStringLiteral("no-such-folder/reference.bmp"));
        bench.dialog->OnSave();
        QCOMPARE(bench.prompts.errors, (std::vector<QStringList>{{"Save Error", "Could not save image"}}));
        QCOMPARE(QImage(path).size(), QSize(40, 30)); // the earlier file is untouched
    }

    void closingDuringReadEndsIt() {
        sim::SimOptions slow; // a whole display at 1200 baud takes minutes
        slow.baud = 1200;
        Bench bench(slow, std::chrono::hours(1), PortTiming{});
        bench.dialog->OnConnect();
        bench.dialog->OnRead();
        QVERIFY(bench.dialog->IsPolling());
        QVERIFY(bench.lastPhone->InnerReadRunning());
        QElapsedTimer clock;
        clock.start();
        bench.dialog->reject();
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!bench.dialog->HoldsPhone());
        QVERIFY(!bench.dialog->IsPolling());
    }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
