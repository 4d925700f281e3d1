// The window before any phone is involved: initial state, layout, selection rules, About box, icon.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/combo_selection.h"
#include "app/main_dialog.h"
#include "app/window_templates.h"
#include "recording_prompts.h"

using namespace panelgrab;

namespace {

const int kControls[] = {kIdPortList, kIdBaudList,     kIdSave, kIdDisplayList,
                         kIdRead,     kIdPictureFrame, kIdQuit, kIdConnect};

MainDialogOptions QuietOptions(test::RecordingPrompts& prompts) {
    MainDialogOptions options;
    options.prompts = &prompts;
    options.releasePause = std::chrono::milliseconds(0);
    return options;
}

} // namespace

class MainDialogLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void initialState();
    void controlsLieApartInsideTheWindowAndStayOnResize();
    void tabOrderFollowsTemplate();
    void prefixSelectionAndBaudText_data();
    void prefixSelectionAndBaudText();
    void saveWithoutPictureWritesNothing();
    void enterClosesTheWindow();
    void aboutEntryOpensAboutBox();
    void iconImages();
};

void MainDialogLayoutTest::initialState() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Panelgrab - Not connected"));
    auto* baud = qobject_cast<QComboBox*>(dialog.Control(kIdBaudList));
    QStringList rates;
    for (int i = 0; i < baud->count(); ++i) {
        rates << baud->itemText(i);
    }
    QCOMPARE(rates, QStringList({"1200", "2400", "9600", "19200", "115200", "230400", "460800", "921600"}));
    QCOMPARE(baud->currentText(), QStringLiteral("9600"));
    auto* ports = qobject_cast<QComboBox*>(dialog.Control(kIdPortList));
    QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Simulated phone"));
    QVERIFY(ports->currentIndex() >= 0);
    QCOMPARE(qobject_cast<QComboBox*>(dialog.Control(kIdDisplayList))->count(), 0);
    for (int id : kControls) {
        const bool enabled = id != kIdDisplayList && id != kIdRead && id != kIdSave;
        QVERIFY2(dialog.Control(id)->isEnabled() == enabled, qPrintable(QString::number(id)));
    }
    QVERIFY(!dialog.HoldsPhone());
    QCOMPARE(dialog.Settings().GetPortName(), std::string("COM1"));
    QCOMPARE(dialog.Settings().GetBaudRate(), 9600);
    // The frame keeps its corner when fitted, down to an empty display.
    QWidget* frame = dialog.Control(kIdPictureFrame);
    const QPoint corner = frame->pos();
    dialog.FitPictureFrame(0, 0);
    QCOMPARE(frame->geometry(), QRect(corner, QSize(1, 1)));
    QCOMPARE(dialog.PictureOrigin(), corner);
    QVERIFY(prompts.messages.empty());
}

void MainDialogLayoutTest::controlsLieApartInsideTheWindowAndStayOnResize() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    std::vector<QRect> before;
    for (int id : kControls) {
        const QRect r = dialog.Control(id)->geometry();
        QVERIFY2(dialog.rect().contains(r) && !r.isEmpty(), qPrintable(QString::number(id)));
        for (std::size_t i = 0; i < before.size(); ++i) {
            QVERIFY2(!before[i].intersects(r),
                     qPrintable(QString("%1 overlaps %2").arg(id).arg(kControls[i])));
        }
        before.push_back(r);
    }
    for (const QSize size : {dialog.size() * 2, dialog.size() / 2}) {
        dialog.resize(size);
        QCoreApplication::processEvents();
        for (std::size_t i = 0; i < before.size(); ++i) {
            QCOMPARE(dialog.Control(kControls[i])->geometry(), before[i]);
        }
    }
}

void MainDialogLayoutTest::tabOrderFollowsTemplate() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    QWidget* widget = dialog.Control(kIdPortList);
    for (int id : {kIdPortList, kIdBaudList, kIdSave, kIdDisplayList, kIdRead, kIdQuit, kIdConnect}) {
        QCOMPARE(widget->property("controlId").toInt(), id);
        do {
            widget = widget->nextInFocusChain();
        } while (!(widget->focusPolicy() & Qt::TabFocus) && widget != dialog.Control(kIdPortList));
    }
    QCOMPARE(widget, dialog.Control(kIdPortList)); // the chain closes after Connect
}

void MainDialogLayoutTest::prefixSelectionAndBaudText_data() {
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("selected");
    QTest::newRow("COM1 finds COM10 when COM1 is missing") << QStringList{"COM2", "COM10"} << "COM1" << 1;
    QTest::newRow("COM1 before COM10") << QStringList{"COM10", "COM1", "COM11"} << "COM1" << 0;
    QTest::newRow("letter case ignored") << QStringList{"ttyS0", "ttyusb0"} << "TTYUSB" << 1;
    QTest::newRow("no match keeps no selection") << QStringList{"COM2", "COM3"} << "COM1" << -1;
}

void MainDialogLayoutTest::prefixSelectionAndBaudText() {
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

void MainDialogLayoutTest::saveWithoutPictureWritesNothing() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    dialog.OnSave();
    QVERIFY(prompts.saveRequests.empty()); // nothing to save: no file name is asked for
    QCOMPARE(prompts.errors, (std::vector<QStringList>{{"Save Error", "Could not save image"}}));
}

void MainDialogLayoutTest::enterClosesTheWindow() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.Control(kIdBaudList)->setFocus();
    QTest::keyClick(dialog.Control(kIdBaudList), Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void MainDialogLayoutTest::aboutEntryOpensAboutBox() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    QCOMPARE(dialog.CopyImageAction()->shortcut(), QKeySequence(QKeySequence::Copy));
    QString version;
    // The About box is modal: look at it and press OK from inside its own event loop.
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
        QVERIFY(about);
        version = about->findChild<QLabel*>(QStringLiteral("versionText"))->text();
        about->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    });
    dialog.AboutAction()->trigger();
    QCOMPARE(version, QStringLiteral("Panelgrab Version 1.0"));
    QVERIFY(!QApplication::activeModalWidget());
}

void MainDialogLayoutTest::iconImages() {
    for (int size : {16, 32}) {
        const QImage icon = DrawAppIcon(size);
        QCOMPARE(icon.size(), QSize(size, size));
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);                 // corners stay transparent
        QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255); // the phone fills the middle
        QVERIFY(icon.pixel(size / 2, size / 4) != icon.pixel(size / 2, size - 2)); // screen vs body
        QVERIFY(AppIcon().availableSizes().contains(QSize(size, size)));
    }
}

QTEST_MAIN(MainDialogLayoutTest)
#include "main_dialog_layout_test.moc"
