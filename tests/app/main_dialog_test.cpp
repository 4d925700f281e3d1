// The window: its initial state and layout, then Connect, Read, Stop, the timer's bands, the
// picture's size and zoom, Save and copy through simulated phones on pseudo-terminals.
#include <QAbstractItemView>
#include <QClipboard>
#include <QColorSpace>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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
    // A band of lines in the frame's own coordinates.
    QRect Band(int fromLine, int toLineExclusive) const {
        return QRect(0, 2 * fromLine, 2 * dialog->CurrentDisplay()->width, 2 * (toLineExclusive - fromLine));
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

// Whether the frame shows display `index` with every pixel as a zoom x zoom block, and the frame's
// right and bottom lines beside it.
bool FrameShowsPicture(MainDialog& dialog, const sim::SimOptions& options, std::size_t index, int zoom = 2) {
    const QImage expected = ExpectedImage(options, index);
    const QSize size = zoom * expected.size();
    const QImage shot = dialog.grab(QRect(dialog.PictureOrigin(), size + QSize(1, 1))).toImage();
    return shot.copy(QRect(QPoint(), size)).convertToFormat(QImage::Format_RGB888) ==
               expected.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation) &&
           shot.pixelColor(size.width(), size.height() / 2) == QColor(Qt::black) &&
           shot.pixelColor(size.width() / 2, size.height()) == QColor(Qt::black);
}

// A simulated phone with one display of this size.
sim::SimOptions PhoneWithDisplay(int width, int height) {
    sim::SimOptions options;
    options.displays = {{width, height, 16}};
    return options;
}

// A poll of 50 ms, far above the simulated phone's pauses between the pieces it sends, so that a
// drain sees the line fall quiet only when the phone has finished.
PortTiming SteadyTiming() {
    PortTiming timing = PortTiming::Fast();
    timing.readWait = std::chrono::milliseconds(50);
    return timing;
}

const int kControls[] = {kIdPortList, kIdBaudList,     kIdSave, kIdDisplayList,
                         kIdRead,     kIdPictureFrame, kIdQuit, kIdConnect};

// A window with no phone and none of this machine's ports, its prompts answered by the test.
struct Quiet {
    test::RecordingPrompts prompts;
    std::vector<PortInfo> ports;
    MainDialog dialog{[this] {
        MainDialogOptions options;
        options.prompts = &prompts;
        options.listPorts = [this] { return ports; };
        return options;
    }()};
    QComboBox* List(int id) const { return qobject_cast<QComboBox*>(dialog.Control(id)); }
};

PortInfo FakePort(const std::string& path, const std::string& product) {
    return {path, product, "", "", "", "", ""};
}

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT
private slots:
    // Every case starts with nothing remembered from an earlier window.
    void init() { QSettings().clear(); }

    void initialState() {
        Quiet w;
        QCOMPARE(w.dialog.windowTitle(), QStringLiteral("Panelgrab - Not connected"));
        auto* baud = w.List(kIdBaudList);
        QCOMPARE(Items(*baud),
                 QStringList({"1200", "2400", "9600", "19200", "115200", "230400", "460800", "921600"}));
        QCOMPARE(baud->currentText(), QStringLiteral("9600"));
        auto* ports = w.List(kIdPortList);
        QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Simulated phone"));
        QVERIFY(ports->currentIndex() >= 0);
        QVERIFY(ports->isEditable()); // a network port's URL can be typed
        QCOMPARE(w.List(kIdDisplayList)->count(), 0);
        for (int id : kControls) {
            const bool enabled = id != kIdDisplayList && id != kIdRead && id != kIdSave;
            QVERIFY2(w.dialog.Control(id)->isEnabled() == enabled, qPrintable(QString::number(id)));
        }
        QVERIFY(!w.dialog.HoldsPhone());
        QCOMPARE(w.dialog.Settings().GetPortName(), std::string("COM1"));
        QCOMPARE(w.dialog.Settings().GetBaudRate(), 9600);
        QCOMPARE(w.dialog.Zoom(), 2);
        QVERIFY(w.dialog.ZoomAction(2)->isChecked());
        // The frame keeps its corner when fitted, down to an empty display.
        const QPoint corner = w.dialog.Control(kIdPictureFrame)->pos();
        w.dialog.FitPictureFrame(0, 0);
        QCOMPARE(w.dialog.PictureFrameWidget()->size(), QSize(1, 1));
        QCOMPARE(w.dialog.PictureOrigin(), corner);
        QVERIFY(w.prompts.messages.empty());
    }

    void controlsStayOnResizeAndThePictureAreaFollows() {
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
        const QWidget* area = w.dialog.Control(kIdPictureFrame);
        const QSize margin =
            w.dialog.size() - QSize(area->geometry().right() + 1, area->geometry().bottom() + 1);
        w.dialog.resize(w.dialog.size() + QSize(120, 80));
        QCoreApplication::processEvents();
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (kControls[i] != kIdPictureFrame) {
                QCOMPARE(w.dialog.Control(kControls[i])->geometry(), before[i]);
            }
        }
        QCOMPARE(area->pos(), before[5].topLeft());
        QCOMPARE(w.dialog.size() - QSize(area->geometry().right() + 1, area->geometry().bottom() + 1),
                 margin);
    }

    void tabOrderFollowsTemplate() {
        Quiet w;
        QWidget* widget = w.dialog.Control(kIdPortList);
        // The controls' own parts (the port list's text field) are no stops of their own here.
        const auto isControl = [&w](QWidget* candidate) {
            return candidate->parentWidget() == &w.dialog && (candidate->focusPolicy() & Qt::TabFocus);
        };
        for (int id : {kIdPortList, kIdBaudList, kIdSave, kIdDisplayList, kIdRead, kIdQuit, kIdConnect}) {
            QCOMPARE(widget->property("controlId").toInt(), id);
            do {
                widget = widget->nextInFocusChain();
            } while (!isControl(widget) && widget != w.dialog.Control(kIdPortList));
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
        QCOMPARE(w.prompts.errors, (std::vector<QStringList>{
                                       {"Save Error", "Could not save image: the read brought no picture"}}));
    }

    void enterClosesTheWindowButConnectsFromThePortField() {
        Quiet w;
        w.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.dialog));
        // Enter after a typed port name connects to it instead of pressing Quit.
        QComboBox* ports = w.List(kIdPortList);
        ports->setEditText(QStringLiteral("/dev/panelgrab-no-such-port"));
        QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
        QVERIFY(w.dialog.isVisible());
        QVERIFY(QTest::qWaitFor([&w] { return !w.dialog.IsBusy(); }, kReadLimitMs));
        QCOMPARE(w.prompts.messages.size(), std::size_t(1));
        QCOMPARE(w.prompts.messages[0][0],
                 QStringLiteral("Phone is not responding on port /dev/panelgrab-no-such-port"));

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

    void contextMenuOffersCopyStopLiveZoomAndAbout() {
        Quiet w;
        QMenu menu;
        w.dialog.FillContextMenu(menu);
        QStringList texts;
        for (QAction* action : menu.actions()) {
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        QCOMPARE(texts, QStringList({"Copy image", "Stop reading\tEsc", "Live view", "-", "Zoom 1x",
                                     "Zoom 2x", "Zoom 3x", "-", "&About Panelgrab..."}));
        QVERIFY(!w.dialog.CopyImageAction()->isEnabled());   // no picture
        QVERIFY(!w.dialog.StopReadingAction()->isEnabled()); // no read
        QVERIFY(!w.dialog.LiveViewAction()->isEnabled());
        w.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.dialog));
        // A right click on the picture opens the same menu.
        int entries = 0;
        QTimer::singleShot(0, [&entries] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                entries = static_cast<int>(popup->actions().size());
                popup->close();
            }
        });
        QWidget* picture = w.dialog.PictureFrameWidget();
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(0, 0), picture->mapToGlobal(QPoint(0, 0)));
        QApplication::sendEvent(picture, &click);
        QCOMPARE(entries, 9);
        // Without a read, Esc keeps closing the window.
        QTest::keyClick(&w.dialog, Qt::Key_Escape);
        QVERIFY(!w.dialog.isVisible());
        QCOMPARE(w.dialog.result(), int(QDialog::Rejected));
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
        QVERIFY(bench.Connect());
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
        QCOMPARE(bench.dialog->PictureFrameWidget()->size(), QSize(81, 61)); // fitted to the first display
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
        QVERIFY(QTest::qWaitFor([&dialog] { return !dialog.IsBusy(); }, kReadLimitMs));
        QVERIFY(prompts.messages.empty());
        QCOMPARE(dialog.Settings().GetPortName(), phone.DevicePath());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Panelgrab - %1 9600").arg(path));
    }

    void portListIsListedAgainWhenOpened() {
        Quiet w;
        w.ports = {FakePort("/dev/ttyUSB0", "Phone Modem")};
        QComboBox* list = w.List(kIdPortList);
        list->setCurrentIndex(list->findText(QStringLiteral("Simulated phone")));
        w.ports.push_back(FakePort("/dev/ttyACM3", "")); // plugged in after the start
        list->showPopup();
        QCOMPARE(Items(*list),
                 QStringList({QStringLiteral("/dev/ttyUSB0 \u2014 Phone Modem"),
                              QStringLiteral("/dev/ttyACM3"), QStringLiteral("Simulated phone")}));
        QCOMPARE(list->currentText(), QStringLiteral("Simulated phone")); // the choice stays
        list->hidePopup();
        // A typed URL stays too, and is the port Connect and Read use.
        list->setEditText(QStringLiteral("rfc2217://lab-server:4001"));
        w.ports.erase(w.ports.begin());
        list->showPopup();
        list->hidePopup();
        QCOMPARE(Items(*list),
                 QStringList({QStringLiteral("/dev/ttyACM3"), QStringLiteral("Simulated phone")}));
        QCOMPARE(list->currentText(), QStringLiteral("rfc2217://lab-server:4001"));
        w.dialog.OnRead(); // no display list yet: refused at once, but the port is taken
        QCOMPARE(w.dialog.Settings().GetPortName(), std::string("rfc2217://lab-server:4001"));
    }

    void rememberedPortAndBaud() {
        {
            Quiet first;
            first.List(kIdPortList)->setEditText(QStringLiteral("/dev/panelgrab-no-such-port"));
            first.List(kIdBaudList)
                ->setCurrentIndex(first.List(kIdBaudList)->findText(QStringLiteral("115200")));
            first.dialog.OnConnect();
            QVERIFY(QTest::qWaitFor([&first] { return !first.dialog.IsBusy(); }, kReadLimitMs));
        }
        {
            Quiet second; // the port is not plugged in now: offered as text
            QCOMPARE(second.List(kIdPortList)->currentText(), QStringLiteral("/dev/panelgrab-no-such-port"));
            QCOMPARE(second.List(kIdBaudList)->currentText(), QStringLiteral("115200"));
            QCOMPARE(second.dialog.Settings().GetPortName(), std::string("/dev/panelgrab-no-such-port"));
            QCOMPARE(second.dialog.Settings().GetBaudRate(), 115200);
            second.List(kIdPortList)->setCurrentIndex(second.List(kIdPortList)->findText("Simulated phone"));
            second.List(kIdBaudList)
                ->setCurrentIndex(second.List(kIdBaudList)->findText(QStringLiteral("921600")));
            second.dialog.OnRead(); // refused (no display list), yet what it was asked with is kept
        }
        Quiet third;
        QCOMPARE(third.List(kIdPortList)->currentIndex(),
                 third.List(kIdPortList)->findText("Simulated phone"));
        QCOMPARE(third.List(kIdBaudList)->currentText(), QStringLiteral("921600"));
        // A damaged store is as good as none.
        QSettings().setValue(QStringLiteral("connection/baud"), QStringLiteral("fast"));
        Quiet fourth;
        QCOMPARE(fourth.dialog.Settings().GetPortName(), std::string("COM1"));
        QCOMPARE(fourth.List(kIdBaudList)->currentText(), QStringLiteral("9600"));
    }

    void silentPhoneLeavesTheWindowResponsive() {
        sim::SimOptions silent = SmallPhone();
        silent.fault = "silent";
        Bench bench(silent);
        QVERIFY(bench.started);
        // While the probe waits for the phone, timers fire and the window shows that it is busy.
        int ticksWhileBusy = 0;
        bool busyLook = true;
        QTimer watch;
        watch.setInterval(1);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!bench.dialog->IsBusy()) {
                return;
            }
            ++ticksWhileBusy;
            busyLook = busyLook && !bench.dialog->Control(kIdConnect)->isEnabled() &&
                       !bench.dialog->Control(kIdRead)->isEnabled() &&
                       !bench.dialog->Control(kIdSave)->isEnabled() &&
                       !bench.dialog->Control(kIdDisplayList)->isEnabled() &&
                       bench.dialog->cursor().shape() == Qt::BusyCursor;
        });
        watch.start();
        bench.dialog->OnConnect();
        QVERIFY(bench.dialog->IsBusy()); // returned at once; the call goes on
        QVERIFY(bench.CallEnded());
        QVERIFY(ticksWhileBusy > 0);
        QVERIFY(busyLook);
        QCOMPARE(bench.dialog->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(bench.dialog->Control(kIdConnect)->isEnabled());
    }

    void connectToSilentOrMissingPort() {
        sim::SimOptions silent = SmallPhone();
        silent.fault = "silent";
        Bench bench(silent);
        QVERIFY(bench.started);
        QVERIFY(bench.Connect());
        const QString path = QString::fromStdString(bench.phone.DevicePath());
        QCOMPARE(bench.prompts.messages.size(), std::size_t(1));
        QCOMPARE(bench.prompts.messages[0][0], QStringLiteral("Phone is not responding on port ") + path);
        QCOMPARE(bench.dialog->windowTitle(), QStringLiteral("Panelgrab - Not connected"));
        QCOMPARE(bench.List(kIdDisplayList)->count(), 0);
        QVERIFY(!bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(!bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(!bench.dialog->HoldsPhone());

        // A device that does not exist: same text, and the system's reason as detail.
        bench.SelectPort(QStringLiteral("/dev/panelgrab-no-such-port"));
        QVERIFY(bench.Connect());
        QCOMPARE(bench.prompts.messages.size(), std::size_t(2));
        QCOMPARE(bench.prompts.messages[1],
                 QStringList({QStringLiteral("Phone is not responding on port /dev/panelgrab-no-such-port"),
                              QString::fromStdString(DescribeSystemError(ENOENT))}));
        QVERIFY(!bench.dialog->HoldsPhone());
    }

    void failedConnectAfterAGoodOneLeavesNoReadWithoutAList() {
        Bench bench(SmallPhone());
        QVERIFY(bench.Connect());
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());
        bench.SelectPort(QStringLiteral("/dev/panelgrab-no-such-port"));
        QVERIFY(bench.Connect());
        QCOMPARE(bench.dialog->windowTitle(), QStringLiteral("Panelgrab - Not connected"));
        QCOMPARE(bench.List(kIdDisplayList)->count(), 0);
        QVERIFY(!bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(!bench.List(kIdDisplayList)->isEnabled());
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
        QVERIFY(bench.Connect());
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
        QVERIFY(bench.Connect());
        QVERIFY(bench.prompts.messages.empty());
        QVERIFY(bench.List(kIdDisplayList)->isEnabled()); // enabled though empty
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());
        bench.dialog->OnRead();
        QCOMPARE(bench.prompts.messages.size(), std::size_t(1));
        QCOMPARE(bench.prompts.messages[0][0], QStringLiteral("No display selected!"));
        QVERIFY(!bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(!bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(!bench.dialog->IsPolling());
        QVERIFY(!bench.dialog->IsBusy());
    }

    void builtInPhoneReadDrawsPictureAtDoubleSize() {
        Bench bench(SmallPhone());
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        bench.SelectPort(QStringLiteral("Simulated phone"));
        QComboBox* baud = bench.List(kIdBaudList);
        baud->setCurrentIndex(baud->findText(QStringLiteral("921600")));
        QVERIFY(bench.Connect());
        QCOMPARE(bench.dialog->windowTitle(), QStringLiteral("Panelgrab - Simulated phone 921600"));
        QCOMPARE(bench.DisplayItems(), QStringList{"Screen 1 (40x30)"});
        bench.dialog->OnRead();
        QVERIFY(!bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(!bench.dialog->Control(kIdConnect)->isEnabled()); // while the read's port opens
        QVERIFY(bench.dialog->StopReadingAction()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(bench.ReadFinished(), kReadLimitMs);
        QVERIFY(!bench.dialog->IsPolling());
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(!bench.dialog->StopReadingAction()->isEnabled());
        QVERIFY(bench.dialog->HoldsPhone()); // closed but kept: its read job owns the picture
        QVERIFY(bench.prompts.messages.empty());
        QCOMPARE(bench.dialog->windowTitle(), QStringLiteral("Panelgrab - Simulated phone 921600"));
        QVERIFY(FrameShowsPicture(*bench.dialog, bench.simOptions, 0));

        // Other enlargements from the picture's menu; the frame follows.
        for (const int zoom : {3, 1, 2}) {
            bench.dialog->ZoomAction(zoom)->trigger();
            QCOMPARE(bench.dialog->Zoom(), zoom);
            QCOMPARE(bench.dialog->PictureFrameWidget()->size(), QSize(40 * zoom + 1, 30 * zoom + 1));
            QVERIFY(FrameShowsPicture(*bench.dialog, bench.simOptions, 0, zoom));
        }
    }

    // After a Read, Live view keeps the picture current: a picture the phone shows later is drawn
    // (only the changed rows are fetched and painted), and a Read ends the live view.
    void liveViewFollowsThePhoneUntilRead() {
        Bench bench(SmallPhone());
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        QVERIFY(!bench.dialog->LiveViewAction()->isEnabled()); // nothing read yet
        bench.dialog->OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(!bench.dialog->IsBusy(), kReadLimitMs);
        QVERIFY(bench.ReadToEnd());
        QVERIFY(bench.dialog->LiveViewAction()->isEnabled());
        bench.dialog->LiveViewAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(bench.dialog->IsLive(), kReadLimitMs);
        QVERIFY(bench.dialog->LiveViewAction()->isChecked());

        sim::RgbImage changed = sim::ExpectedPicture(bench.simOptions, 0);
        for (int y = 10; y < 14; ++y) { // a band of four rows turns white
            std::fill_n(changed.rgb.begin() + static_cast<std::ptrdiff_t>(y) * changed.width * 3,
                        changed.width * 3, uint8_t{255});
        }
        QVERIFY(bench.phone.ShowPicture(0, changed));
        const auto showsChange = [&] {
            const QImage shot = bench.dialog
                                    ->grab(QRect(bench.dialog->PictureOrigin() + QPoint(0, 2 * 11),
                                                 QSize(2 * changed.width, 1)))
                                    .toImage();
            // A 16-bit display shows white as (248,252,248).
            const auto white = [](QColor c) { return c.red() >= 240 && c.green() >= 240 && c.blue() >= 240; };
            return white(shot.pixelColor(1, 0)) && white(shot.pixelColor(2 * changed.width - 2, 0));
        };
        QTRY_VERIFY_WITH_TIMEOUT(showsChange(), kReadLimitMs);
        QVERIFY(bench.dialog->windowTitle().contains(QStringLiteral("live view")));

        bench.dialog->OnRead(); // a Read ends the live view
        QVERIFY(!bench.dialog->IsLive());
        QVERIFY(!bench.dialog->LiveViewAction()->isChecked());
        QVERIFY(bench.ReadToEnd() || bench.ReadFinished());
        QVERIFY(bench.prompts.messages.empty());
    }

    void readEndingShortSaysWhyAndKeepsWhatArrived() {
        sim::SimOptions vanishing = SmallPhone();
        vanishing.fault = "hangup-after=4000"; // inside the picture of the first Read
        Bench bench(vanishing);
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        QVERIFY(bench.Connect());
        QVERIFY(bench.ReadToEnd());
        QVERIFY(bench.dialog->windowTitle().contains(QStringLiteral("picture incomplete: Communications")));
        QVERIFY(bench.dialog->Picture());
        QVERIFY(bench.prompts.messages.empty());
    }

    void readSecondDisplayAfterSelectionChange() {
        Bench bench(SmallPhone(2));
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        QVERIFY(bench.Connect());
        QVERIFY(bench.ReadToEnd());
        QComboBox* displays = bench.List(kIdDisplayList);
        displays->setCurrentIndex(1);
        emit displays->activated(1); // as when the user picks it
        QVERIFY(!bench.dialog->Control(kIdSave)->isEnabled());
        QVERIFY(!bench.dialog->Picture());
        QCOMPARE(bench.dialog->PictureFrameWidget()->size(), QSize(49, 33));
        QVERIFY(bench.ReadToEnd());
        QCOMPARE(bench.shaping.destroyed, 2); // Connect's object and the first read's, released in turn
        QVERIFY(FrameShowsPicture(*bench.dialog, bench.simOptions, 1));
    }

    void ticksDrawOnlyNewBandsAndShowProgress() {
        Bench bench(SmallPhone(), std::chrono::hours(1)); // the test ticks by hand
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        QVERIFY(bench.Connect());
        const uint32_t lineLength = bench.dialog->CurrentDisplay()->lineLength;
        bench.shaping.holdRead = true;
        bench.shaping.progressCap = 0;
        QVERIFY(bench.StartRead());
        // A short read says nothing of time before its first lines.
        const QString connected = QStringLiteral("Panelgrab - %1 9600").arg(bench.phone.DevicePath().c_str());
        QCOMPARE(bench.dialog->windowTitle(), connected + QStringLiteral(" - reading 0/30 lines"));
        QTRY_VERIFY_WITH_TIMEOUT(!bench.lastPhone->InnerReadRunning(), kReadLimitMs);

        PaintRecorder painted(*bench.dialog->PictureFrameWidget());
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
        const QString title = bench.dialog->windowTitle();
        QVERIFY2(title.startsWith(connected + QStringLiteral(" - reading 3/30 lines, ")) &&
                     title.endsWith(" left"),
                 qPrintable(title));

        for (uint32_t lines : {3u, 2u}) { // the same or fewer lines draw nothing
            tick(static_cast<int32_t>(lines * lineLength + 1));
            QVERIFY(painted.regions.empty());
            QCOMPARE(bench.dialog->LinesShown(), uint16_t(3));
        }
        tick(static_cast<int32_t>(10 * lineLength + 5));
        QCOMPARE(painted.regions, std::vector<QRegion>{QRegion(bench.Band(3, 11))});

        bench.shaping.holdRead = false; // the read has ended: the last band, and the controls back
        tick(-1);
        // The band reaches a line beyond the last, which the frame's bottom line cuts off.
        const QRect frame = bench.dialog->PictureFrameWidget()->rect();
        QCOMPARE(painted.regions, std::vector<QRegion>{QRegion(bench.Band(10, 31).intersected(frame))});
        QVERIFY(!bench.dialog->IsPolling());
        QVERIFY(bench.ReadFinished());
        QCOMPARE(bench.dialog->windowTitle(), connected);
        QVERIFY(FrameShowsPicture(*bench.dialog, bench.simOptions, 0));
    }

    void connectDuringReadReleasesIt() {
        Bench bench(SmallPhone(), std::chrono::hours(1));
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        QVERIFY(bench.Connect());
        bench.shaping.holdRead = true;
        QVERIFY(bench.StartRead());
        QVERIFY(bench.dialog->HoldsPhone());
        QTRY_VERIFY_WITH_TIMEOUT(!bench.lastPhone->InnerReadRunning(), kReadLimitMs);
        bench.dialog->OnTimer();
        QVERIFY(bench.dialog->Picture());
        QVERIFY(bench.dialog->Control(kIdConnect)->isEnabled()); // Connect stays usable during a read

        QVERIFY(bench.Connect());
        QCOMPARE(bench.shaping.destroyed, 3); // the first Connect's, the read's and the second Connect's
        QVERIFY(!bench.dialog->HoldsPhone());
        QVERIFY(!bench.dialog->Picture());
        QVERIFY(!bench.dialog->IsPolling()); // the dropped read is not polled any more
        QVERIFY(!bench.dialog->IsReading());
        QVERIFY(bench.List(kIdDisplayList)->isEnabled());
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(!bench.dialog->Control(kIdSave)->isEnabled());
        PaintRecorder painted(*bench.dialog->PictureFrameWidget());
        bench.dialog->OnTimer();
        QVERIFY(painted.regions.empty());

        // A refused Read leaves no timer that could take the unopened phone object for a finished read.
        bench.shaping.holdRead = false;
        bench.SelectPort(QStringLiteral("/dev/panelgrab-no-such-port"));
        bench.dialog->OnRead();
        QVERIFY(bench.CallEnded());
        QCOMPARE(bench.prompts.messages.size(), std::size_t(1));
        QVERIFY(bench.dialog->HoldsPhone());
        QVERIFY(!bench.dialog->IsPolling());
        QVERIFY(!bench.dialog->Control(kIdRead)->isEnabled());
    }

    void stoppedReadKeepsWhatArrivedAndTheNextConnectWaitsForThePhone() {
        sim::SimOptions paced = SmallPhone();
        paced.baud = 230400; // the 40x30 picture takes about 0.4 s
        Bench bench(paced, 10ms, SteadyTiming());
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        QVERIFY(bench.Connect());
        QVERIFY(bench.StartRead());
        QTRY_VERIFY_WITH_TIMEOUT(bench.dialog->LinesShown() >= 2, kReadLimitMs);
        QVERIFY(bench.dialog->StopReadingAction()->isEnabled());
        QTest::keyClick(bench.dialog.get(), Qt::Key_Escape); // Esc stops the read, not the program
        QVERIFY(bench.dialog->isVisible());
        QVERIFY(!bench.dialog->IsReading());
        QVERIFY(bench.dialog->windowTitle().contains(QStringLiteral(" - reading stopped after ")));
        QVERIFY(bench.dialog->Picture());
        QVERIFY(bench.ReadFinished()); // what arrived can be saved
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());

        // The phone still sends the rest of its picture: Connect waits for it, visibly, and then works.
        bench.dialog->OnConnect();
        QVERIFY(bench.dialog->windowTitle().startsWith(
            QStringLiteral("Panelgrab - waiting for the phone to finish sending (at most ")));
        QVERIFY(bench.CallEnded());
        QCOMPARE(bench.prompts.messages, std::vector<QStringList>{});
        QCOMPARE(bench.DisplayItems(), QStringList{"Screen 1 (40x30)"});
        QVERIFY(bench.ReadToEnd());
        QVERIFY(FrameShowsPicture(*bench.dialog, bench.simOptions, 0));
    }

    void stopBeforeTheReadBeganCallsItOff() {
        sim::SimOptions silent = SmallPhone();
        Bench bench(silent);
        QVERIFY(bench.Connect());
        bench.SelectPort(QStringLiteral("/dev/panelgrab-no-such-port")); // an open that fails...
        bench.dialog->OnRead();
        bench.dialog->StopReading(); // ...is called off first: no message about it
        QVERIFY(bench.CallEnded());
        QVERIFY(bench.prompts.messages.empty());
        QVERIFY(!bench.dialog->IsReading());
        QVERIFY(bench.dialog->Control(kIdRead)->isEnabled());
        QVERIFY(!bench.dialog->Control(kIdSave)->isEnabled());
        QVERIFY(!bench.dialog->StopReadingAction()->isEnabled());
    }

    void largeDisplaysAreVisibleOrScrollableAtDoubleSize_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("240x320") << 240 << 320;
        QTest::newRow("480x800") << 480 << 800;
    }

    void largeDisplaysAreVisibleOrScrollableAtDoubleSize() {
        QFETCH(int, width);
        QFETCH(int, height);
        Bench bench(PhoneWithDisplay(width, height));
        QVERIFY(QTest::qWaitForWindowExposed(bench.dialog.get()));
        const QSize before = bench.dialog->size();
        QVERIFY(bench.Connect());
        QCoreApplication::processEvents();
        const QSize frame(2 * width + 1, 2 * height + 1);
        QCOMPARE(bench.dialog->PictureFrameWidget()->size(), frame);
        // The window grew, but stays within the screen.
        QVERIFY(bench.dialog->width() > before.width() || bench.dialog->height() > before.height());
        QVERIFY(bench.dialog->screen()->availableGeometry().contains(bench.dialog->frameGeometry()));
        // What the area does not show, its scroll bars reach.
        PictureArea* area = bench.dialog->PictureAreaWidget();
        const QSize view = area->viewport()->size();
        QCOMPARE(area->horizontalScrollBar()->maximum(), std::max(0, frame.width() - view.width()));
        QCOMPARE(area->verticalScrollBar()->maximum(), std::max(0, frame.height() - view.height()));
        QVERIFY(area->width() <= bench.dialog->width() && area->height() <= bench.dialog->height());
        if (width > 240) {
            return; // the larger one is only sized: reading it takes seconds
        }
        // The whole picture arrives and its far corner can be scrolled into view.
        QVERIFY(bench.ReadToEnd());
        area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        const QImage shot = area->viewport()->grab().toImage();
        const QImage expected = ExpectedImage(bench.simOptions, 0);
        const QPoint corner(view.width() - 2, view.height() - 2); // the last display pixel's block
        QCOMPARE(shot.pixelColor(corner).rgb(), expected.pixelColor(width - 1, height - 1).rgb());
        QCOMPARE(shot.pixelColor(view.width() - 1, view.height() / 2), QColor(Qt::black)); // the frame's edge
    }

    void saveAsPngOrBmpByNameWithASuggestedName() {
        Bench bench(SmallPhone());
        QGuiApplication::clipboard()->clear();
        bench.dialog->CopyImageAction()->trigger(); // no picture yet: nothing copied
        QVERIFY(QGuiApplication::clipboard()->image().isNull());
        QVERIFY(bench.Connect());
        QVERIFY(bench.ReadToEnd());
        const QImage expected = ExpectedImage(bench.simOptions, 0);
        bench.dialog->CopyImageAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888), expected);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        bench.dialog->OnSave(); // cancelled: nothing written, nothing said
        QCOMPARE(bench.prompts.saveRequests.size(), std::size_t(1));
        const QStringList asked = bench.prompts.saveRequests[0];
        QCOMPARE(asked[0], QStringLiteral("Save reference image"));
        QCOMPARE(asked[1], QStringLiteral("Bitmap files (*.bmp);;PNG images (*.png)"));
        QVERIFY2(QRegularExpression(QStringLiteral("^screen1-\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.bmp$"))
                     .match(asked[2])
                     .hasMatch(),
                 qPrintable(asked[2]));
        QVERIFY(QDir(folder.path()).isEmpty());

        for (const char* name : {"reference.bmp", "reference.png", "reference.PNG"}) {
            const QString path = folder.filePath(QString::fromLatin1(name));
            for (int time = 0; time < 2; ++time) { // the second save replaces the first
                bench.prompts.saveAnswer = path;
                bench.dialog->OnSave();
                QFile written(path);
                QVERIFY(written.open(QIODevice::ReadOnly));
                const bool png =
                    QString::fromLatin1(name).endsWith(QStringLiteral("png"), Qt::CaseInsensitive);
                QVERIFY(written.read(4).startsWith(png ? "\x89PNG" : "BM"));
                // The PNG says it is sRGB, which Qt's comparison would count as a difference.
                QImage read = QImage(path).convertToFormat(QImage::Format_RGB888);
                read.setColorSpace(QColorSpace());
                QVERIFY2(read == expected, name);
            }
        }
        QVERIFY(bench.prompts.errors.empty());
        QVERIFY(bench.dialog->Control(kIdSave)->isEnabled()); // Save changes no control

        // A failure names the path and the reason, and leaves an earlier file alone.
        const QString missing = folder.filePath(QStringLiteral("no-such-folder/reference.bmp"));
        const QString jpeg = folder.filePath(QStringLiteral("reference.jpg"));
        for (const QString& path : {missing, jpeg}) {
            bench.prompts.saveAnswer = path;
            bench.dialog->OnSave();
        }
        QCOMPARE(bench.prompts.errors.size(), std::size_t(2));
        QCOMPARE(bench.prompts.errors[0],
                 QStringList({"Save Error", "Could not save image to " + missing + ": " +
                                                QString::fromLocal8Bit(strerror(ENOENT))}));
        QCOMPARE(bench.prompts.errors[1][1],
                 "Could not save image to " + jpeg + ": the name must end in .png or .bmp");
        QVERIFY(!QFile::exists(jpeg));
        QCOMPARE(QImage(folder.filePath(QStringLiteral("reference.bmp"))).size(), QSize(40, 30));
        QCOMPARE(SuggestedSaveName(2, QDateTime(QDate(2024, 5, 17), QTime(14, 30, 5)), QStringLiteral("png")),
                 QStringLiteral("screen2-2024-05-17-143005.png"));
    }

    void closingDuringReadEndsIt() {
        sim::SimOptions slow; // a whole display at 1200 baud takes minutes
        slow.baud = 1200;
        Bench bench(slow, std::chrono::hours(1), PortTiming{});
        QVERIFY(bench.Connect());
        QVERIFY(bench.StartRead());
        // A long read says how long it will take from the start.
        QVERIFY2(bench.dialog->windowTitle().contains(QStringLiteral("lines, about ")),
                 qPrintable(bench.dialog->windowTitle()));
        QVERIFY(bench.dialog->IsPolling());
        QVERIFY(bench.lastPhone->InnerReadRunning());
        QElapsedTimer clock;
        clock.start();
        bench.dialog->reject();
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!bench.dialog->HoldsPhone());
        QVERIFY(!bench.dialog->IsPolling());
    }

    void closingDuringAPhoneCallEndsIt() {
        sim::SimOptions silent = SmallPhone();
        silent.fault = "silent";
        Bench bench(silent, 10ms, PortTiming{}); // the real probe waits seconds for a silent phone
        bench.dialog->OnConnect();
        QVERIFY(bench.dialog->IsBusy());
        QElapsedTimer clock;
        clock.start();
        bench.dialog->reject();
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!bench.dialog->IsBusy());
        QVERIFY(bench.prompts.messages.empty());
    }
};

// The window keeps the last port and baud rate in the user's settings: the tests keep theirs in a
// folder of their own, never in the real configuration.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QTemporaryDir settingsFolder;
    if (!settingsFolder.isValid()) {
        return 1;
    }
    QCoreApplication::setOrganizationName(QStringLiteral("panelgrab-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("main-dialog-test"));
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
        QSettings::setPath(QSettings::NativeFormat, scope, settingsFolder.path());
        QSettings::setPath(QSettings::IniFormat, scope, settingsFolder.path());
    }
    MainDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_dialog_test.moc"
