// The window before any phone is involved: template, initial state, selection rules, About box, icon.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/combo_selection.h"
#include "app/dialog_units.h"
#include "app/main_dialog.h"
#include "app/window_templates.h"
#include "recording_prompts.h"

using namespace panelgrab;

namespace {

QStringList Items(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) {
        items << list.itemText(i);
    }
    return items;
}

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
    void controlsSitWhereTheTemplatePutsThem();
    void resizingMovesNothing();
    void tabOrderFollowsTemplate();
    void prefixSelectionAndBaudText_data();
    void prefixSelectionAndBaudText();
    void fitPictureFrameKeepsCorner();
    void readWithoutSelectionIsRefused();
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
    QCOMPARE(Items(*baud),
             QStringList({"1200", "2400", "9600", "19200", "115200", "230400", "460800", "921600"}));
    QCOMPARE(baud->currentText(), QStringLiteral("9600"));

    auto* ports = qobject_cast<QComboBox*>(dialog.Control(kIdPortList));
    QVERIFY(ports->count() >= 1);
    QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Simulated phone"));
    QVERIFY(ports->currentIndex() >= 0);

    auto* displays = qobject_cast<QComboBox*>(dialog.Control(kIdDisplayList));
    QCOMPARE(displays->count(), 0);
    QVERIFY(!displays->isEnabled());
    QVERIFY(!dialog.Control(kIdRead)->isEnabled());
    QVERIFY(!dialog.Control(kIdSave)->isEnabled());
    for (int id : {kIdPortList, kIdBaudList, kIdConnect, kIdQuit}) {
        QVERIFY2(dialog.Control(id)->isEnabled(), qPrintable(QString::number(id)));
    }
    QVERIFY(!dialog.HoldsPhone());
    QVERIFY(!dialog.Picture());
    QCOMPARE(dialog.Settings().GetPortName(), std::string("COM1"));
    QCOMPARE(dialog.Settings().GetBaudRate(), 9600);
    QVERIFY(prompts.messages.empty());
}

void MainDialogLayoutTest::controlsSitWhereTheTemplatePutsThem() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    const QFontMetrics metrics(dialog.font());
    QCOMPARE(dialog.font().pointSize(), 8);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const double unitX = ((letters / 26 + 1) / 2) / 4.0;
    const double unitY = metrics.height() / 8.0;
    auto near = [](int pixels, double expected) { return std::abs(pixels - expected) <= 1.0; };

    struct Expected {
        int id;
        const char* text;
        QRect units;
    };
    const Expected controls[] = {
        {kIdPortList, nullptr, {13, 18, 81, 0}}, {kIdBaudList, nullptr, {13, 36, 81, 0}},
        {kIdSave, "Save...", {55, 130, 37, 13}}, {kIdDisplayList, nullptr, {13, 92, 81, 0}},
        {kIdRead, "Read", {13, 130, 37, 13}},    {kIdPictureFrame, nullptr, {105, 10, 238, 272}},
        {kIdQuit, "Quit", {7, 268, 50, 14}},     {kIdConnect, "Connect", {15, 54, 37, 13}},
    };
    for (const Expected& control : controls) {
        QWidget* widget = dialog.Control(control.id);
        QVERIFY2(widget, qPrintable(QString::number(control.id)));
        const QRect r = widget->geometry();
        QVERIFY2(near(r.x(), control.units.x() * unitX) && near(r.y(), control.units.y() * unitY) &&
                     near(r.width(), control.units.width() * unitX),
                 qPrintable(QString::number(control.id)));
        if (control.units.height() > 0) { // a drop-down list's height is its font's, not the template's
            QVERIFY(near(r.height(), control.units.height() * unitY));
        }
        if (control.text) {
            QCOMPARE(qobject_cast<QPushButton*>(widget)->text(), QString::fromUtf8(control.text));
        }
    }
    QVERIFY(qobject_cast<QPushButton*>(dialog.Control(kIdQuit))->isDefault());
    QVERIFY(near(dialog.width(), 350 * unitX) && near(dialog.height(), 289 * unitY));
    QCOMPARE(dialog.PictureOrigin(), dialog.Control(kIdPictureFrame)->geometry().topLeft());
}

void MainDialogLayoutTest::resizingMovesNothing() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    std::vector<QRect> before;
    for (int id :
         {kIdPortList, kIdBaudList, kIdSave, kIdDisplayList, kIdRead, kIdPictureFrame, kIdQuit, kIdConnect}) {
        before.push_back(dialog.Control(id)->geometry());
    }
    for (const QSize size : {dialog.size() * 2, dialog.size() / 2}) {
        dialog.resize(size);
        QCoreApplication::processEvents();
        std::size_t i = 0;
        for (int id : {kIdPortList, kIdBaudList, kIdSave, kIdDisplayList, kIdRead, kIdPictureFrame, kIdQuit,
                       kIdConnect}) {
            QCOMPARE(dialog.Control(id)->geometry(), before[i++]);
        }
    }
}

void MainDialogLayoutTest::tabOrderFollowsTemplate() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    const int expected[] = {kIdPortList, kIdBaudList, kIdSave, kIdDisplayList, kIdRead, kIdQuit, kIdConnect};
    QWidget* widget = dialog.Control(kIdPortList);
    for (int id : expected) {
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
    QTest::newRow("baud 9600 among the rates") << QStringList{"1200", "2400", "9600"} << "9600" << 2;
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

    QCOMPARE(LeadingDecimal(QStringLiteral("115200")), 115200);
    QCOMPARE(LeadingDecimal(QStringLiteral("9600 baud")), 9600);
    QCOMPARE(LeadingDecimal(QStringLiteral("fast")), 0);
    QCOMPARE(LeadingDecimal(QString()), 0);
    QCOMPARE(LeadingDecimal(QStringLiteral("99999999999")), 2147483647);
}

void MainDialogLayoutTest::fitPictureFrameKeepsCorner() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    QWidget* frame = dialog.Control(kIdPictureFrame);
    const QPoint corner = frame->pos();
    dialog.FitPictureFrame(176, 220);
    QCOMPARE(frame->geometry(), QRect(corner, QSize(353, 441)));
    dialog.FitPictureFrame(0, 0);
    QCOMPARE(frame->geometry(), QRect(corner, QSize(1, 1)));
    QCOMPARE(dialog.PictureOrigin(), corner);
}

void MainDialogLayoutTest::readWithoutSelectionIsRefused() {
    test::RecordingPrompts prompts;
    MainDialog dialog(QuietOptions(prompts));
    dialog.OnRead();
    QCOMPARE(prompts.messages.size(), std::size_t(1));
    QCOMPARE(prompts.messages[0].text, QStringLiteral("No display selected!"));
    QVERIFY(!dialog.Control(kIdRead)->isEnabled());
    QVERIFY(!dialog.Control(kIdSave)->isEnabled());
    QVERIFY(!dialog.Control(kIdDisplayList)->isEnabled());
    QVERIFY(!dialog.HoldsPhone());
    QVERIFY(!dialog.IsPolling());
}

void MainDialogLayoutTest::saveWithoutPictureWritesNothing() {
    test::RecordingPrompts prompts;
    prompts.saveAnswer = QDir::temp().filePath(QStringLiteral("panelgrab-never-written.bmp"));
    QFile::remove(prompts.saveAnswer);
    MainDialog dialog(QuietOptions(prompts));
    dialog.OnSave();
    QVERIFY(prompts.saveRequests.empty()); // nothing to save: no file name is asked for
    QCOMPARE(prompts.errors.size(), std::size_t(1));
    QCOMPARE(prompts.errors[0].caption, QStringLiteral("Save Error"));
    QCOMPARE(prompts.errors[0].text, QStringLiteral("Could not save image"));
    QVERIFY(!QFile::exists(prompts.saveAnswer));
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
    QCOMPARE(dialog.AboutAction()->text(), QStringLiteral("&About Panelgrab..."));
    QCOMPARE(dialog.CopyImageAction()->shortcut(), QKeySequence(QKeySequence::Copy));

    QString caption;
    QString version;
    bool okIsDefault = false;
    // The About box is modal: look at it and press OK from inside its own event loop.
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
        QVERIFY(about);
        caption = about->windowTitle();
        version = about->findChild<QLabel*>(QStringLiteral("versionText"))->text();
        auto* ok = about->findChild<QPushButton*>(QStringLiteral("okButton"));
        okIsDefault = ok->isDefault();
        ok->click();
    });
    dialog.AboutAction()->trigger();
    QCOMPARE(caption, QStringLiteral("About Panelgrab"));
    QCOMPARE(version, QStringLiteral("Panelgrab Version 1.0"));
    QVERIFY(okIsDefault);
    QVERIFY(!QApplication::activeModalWidget());
}

void MainDialogLayoutTest::iconImages() {
    for (int size : {16, 32}) {
        const QImage icon = DrawAppIcon(size);
        QCOMPARE(icon.size(), QSize(size, size));
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);                 // corners stay transparent
        QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255); // the phone fills the middle
        QVERIFY(icon.pixel(size / 2, size / 4) != icon.pixel(size / 2, size - 2)); // screen vs body
    }
    const QList<QSize> sizes = AppIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(32, 32)));
}

QTEST_MAIN(MainDialogLayoutTest)
#include "main_dialog_layout_test.moc"
