// The window under the offscreen platform: its layout as laid down (names,
// places, captions, tab order), the port choice, and the five outcomes of the
// workflow against the module double under virtual time.
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <optional>

#include "app/Disabletoolform.h"
#include "fake_sysfs.h"
#include "lib/ebd.h"
#include "platform/sim_platform.h"
#include "sim/module_double.h"

namespace {

using ebd::sim::Firmware;
using ebd::sim::ModuleDouble;

// Passes everything on to the module and notes the cursor the application
// showed while the library talked to it.
class CursorSpy final : public ebd::platform::SimPeer {
public:
    explicit CursorSpy(ModuleDouble& module) : module_(module) {}
    void onHostBytes(const uint8_t* data, size_t count, uint64_t nowNs) override {
        const QCursor* cursor = QApplication::overrideCursor();
        if (cursor == nullptr || cursor->shape() != Qt::WaitCursor) ++bytesWithoutBusyCursor;
        if (++writes == 1 && duringRun) duringRun();
        module_.onHostBytes(data, count, nowNs);
    }
    void onLine(const ebd::platform::LineSettings& settings, uint64_t nowNs) override {
        module_.onLine(settings, nowNs);
    }
    void onOpen(bool open, uint64_t nowNs) override { module_.onOpen(open, nowNs); }
    void advanceTo(uint64_t nowNs) override { module_.advanceTo(nowNs); }
    uint64_t nextEventNs() const override { return module_.nextEventNs(); }
    bool frontOutput(uint64_t* atNs) const override { return module_.frontOutput(atNs); }
    uint8_t popOutput() override { return module_.popOutput(); }
    void onPurge(uint64_t nowNs) override { module_.onPurge(nowNs); }

    int writes = 0;
    int bytesWithoutBusyCursor = 0;
    std::function<void()> duringRun;  // once, while the workflow runs

private:
    ModuleDouble& module_;
};

struct Shown {
    QString text;
    QString caption;
};

// A caption as it reads on screen: an '&' only marks the next letter.
QString Visible(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ebd::platform::SimPlatform> sim;
    std::unique_ptr<ModuleDouble> module;
    std::unique_ptr<CursorSpy> spy;
    std::unique_ptr<TDisableTool> window;
    std::vector<Shown> shown;
    QTemporaryDir workDir;
    QString oldDir;

    template <typename T>
    T* child(const char* name) {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) qWarning("no %s", name);
        return found;
    }
    QRadioButton* selector(int number) {
        return window->findChild<QRadioButton*>(QStringLiteral("PortSelector%1").arg(number));
    }
    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Chooses a port and presses "Autostart Off"; the one message shown.
    std::optional<Shown> attempt(int port) {
        shown.clear();
        if (port != 0) click(selector(port));
        click(child<QPushButton>("StartButton"));
        if (shown.size() != 1) return std::nullopt;
        return shown.front();
    }

private slots:
    void initTestCase() {
        // A working directory of its own, where a trace file would show.
        QVERIFY(workDir.isValid());
        oldDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(workDir.path()));
    }
    void cleanupTestCase() {
        QVERIFY(!QDir(workDir.path()).exists(QStringLiteral("tracefiles")));
        QDir::setCurrent(oldDir);
    }
    void init() {
        qputenv("EBD_COM3", "/dev/ttyUSB7");
        sim = std::make_unique<ebd::platform::SimPlatform>();
        module = std::make_unique<ModuleDouble>();
        spy = std::make_unique<CursorSpy>(*module);
        sim->attach("COM1", spy.get());
        ebd::platform::install(sim.get());
        openWindow();
    }
    void openWindow() {
        window = std::make_unique<TDisableTool>();
        window->setMessageHook([this](const QString& text, const QString& caption) {
            shown.push_back({text, caption});
        });
        window->show();
        shown.clear();
    }
    void cleanup() {
        window.reset();
        // Any session the library still held would name the simulated port.
        for (int port = 1; port <= 8; ++port) WComClose(0xEBD00EBDu | (static_cast<uint32_t>(port) << 12));
        ebd::platform::install(nullptr);
        spy.reset();
        module.reset();
        sim.reset();
        qunsetenv("EBD_COM3");
    }

    void theWindowIsLaidOutAsDrawn() {
        QCOMPARE(window->objectName(), QStringLiteral("DisableTool"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Disable Autostart"));
        QCOMPARE(window->size(), QSize(187, 185));
        QCOMPARE(window->font().pixelSize(), 11);
        QCOMPARE(window->font().styleHint(), QFont::SansSerif);

        auto* frame = child<QGroupBox>("COMPortFrame");
        QVERIFY(frame != nullptr);
        QCOMPARE(frame->parentWidget(), window.get());
        QCOMPARE(frame->title(), QStringLiteral("COM Port for Module"));
        QCOMPARE(frame->geometry(), QRect(10, 12, 165, 125));

        const int lefts[] = {16, 16, 16, 16, 96, 96, 96, 96};
        const int tops[] = {25, 49, 73, 97, 25, 49, 73, 97};
        for (int number = 1; number <= 8; ++number) {
            QRadioButton* button = selector(number);
            QVERIFY(button != nullptr);
            QCOMPARE(button->parentWidget(), frame);
            QCOMPARE(Visible(button->text()), QStringLiteral("COM %1").arg(number));
            QCOMPARE(button->geometry(), QRect(lefts[number - 1], tops[number - 1], 60, 17));
        }
        auto* start = child<QPushButton>("StartButton");
        auto* close = child<QPushButton>("CloseButton");
        QVERIFY(start != nullptr && close != nullptr);
        QCOMPARE(start->parentWidget(), window.get());
        QCOMPARE(Visible(start->text()), QStringLiteral("Autostart Off"));
        QCOMPARE(start->geometry(), QRect(10, 144, 72, 24));
        QCOMPARE(Visible(close->text()), QStringLiteral("Close"));
        QCOMPARE(close->geometry(), QRect(102, 144, 72, 24));
        // Exactly these controls: one group box, eight radio buttons, two buttons.
        QCOMPARE(window->findChildren<QGroupBox*>().size(), 1);
        QCOMPARE(window->findChildren<QRadioButton*>().size(), 8);
        QCOMPARE(window->findChildren<QPushButton*>().size(), 2);
    }

    void everyCaptionFitsItsControl() {
        QStyle* style = window->style();
        for (int number = 1; number <= 8; ++number) {
            QRadioButton* button = selector(number);
            const QFontMetrics metrics(button->font());
            const int needed = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button) +
                               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, button) +
                               metrics.horizontalAdvance(Visible(button->text()));
            QVERIFY2(needed <= button->width(),
                     qPrintable(QStringLiteral("%1 needs %2").arg(button->text()).arg(needed)));
            QVERIFY(metrics.height() <= button->height());
        }
        for (const char* name : {"StartButton", "CloseButton"}) {
            auto* button = child<QPushButton>(name);
            const QFontMetrics metrics(button->font());
            // The frame and two pixels of air on either side.
            const int needed = metrics.horizontalAdvance(Visible(button->text())) +
                               2 * (style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button) + 2);
            QVERIFY2(needed <= button->width(), name);
            QVERIFY(metrics.height() <= button->height());
        }
        auto* frame = child<QGroupBox>("COMPortFrame");
        QVERIFY(QFontMetrics(frame->font()).horizontalAdvance(frame->title()) <= frame->width() - 16);
    }

    void radioButtonsFormOneExclusiveGroupWithNothingChecked() {
        for (int number = 1; number <= 8; ++number) QVERIFY(!selector(number)->isChecked());
        QCOMPARE(window->selectedPort(), 0);
        QButtonGroup* group = selector(1)->group();
        QVERIFY(group != nullptr);
        QVERIFY(group->exclusive());
        QCOMPARE(group->buttons().size(), 8);
        for (int number = 1; number <= 8; ++number) {
            click(selector(number));
            QCOMPARE(window->selectedPort(), number);
            for (int other = 1; other <= 8; ++other) QCOMPARE(selector(other)->isChecked(), other == number);
        }
        // A click that does not come from a radio button chooses no port.
        QMetaObject::invokeMethod(window.get(), "SelectPort");
        QCOMPARE(window->selectedPort(), 0);
    }

    void tabOrderRunsThroughThePortsThenStartThenClose() {
        QStringList order;
        QWidget* widget = selector(1);
        for (int i = 0; i < 11; ++i) {
            order << widget->objectName();
            do {
                widget = widget->nextInFocusChain();
            } while (widget->focusPolicy() == Qt::NoFocus || widget->objectName().isEmpty());
        }
        QCOMPARE(order, (QStringList{"PortSelector1", "PortSelector2", "PortSelector3", "PortSelector4",
                                     "PortSelector5", "PortSelector6", "PortSelector7", "PortSelector8",
                                     "StartButton", "CloseButton", "PortSelector1"}));
    }

    // EBD_COM<N> first, then the port map of the settings file, then the default.
    void tooltipsNameTheDevicesAndWhereTheyComeFrom() {
        const QString file = workDir.filePath(QStringLiteral("settings.conf"));
        QFile settings(file);
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(
            "[Ports]\n\"COM3\"=\"/dev/ttyUSB1\"\n\"COM4\"=\"/dev/ttyUSB2\"\n\"COM5\"=\"ttyUSB3\"\n");
        settings.close();
        qputenv("EBD_SETTINGS_FILE", file.toUtf8());
        window->describePorts("/nonexistent");
        qunsetenv("EBD_SETTINGS_FILE");
        QFile::remove(file);
        QCOMPARE(selector(3)->toolTip(), QStringLiteral("COM3: /dev/ttyUSB7 (EBD_COM3)"));
        QCOMPARE(selector(4)->toolTip(), QStringLiteral("COM4: /dev/ttyUSB2 (port map)"));
        QCOMPARE(selector(5)->toolTip(),
                 QStringLiteral(
                     "COM5: /dev/ttyS4 (default)\nport map entry passed over: not an absolute device path"));
        QCOMPARE(selector(8)->toolTip(), QStringLiteral("COM8: /dev/ttyS7 (default)"));
    }

    void tooltipsTellWhatTheSerialDeviceBehindAPortIs() {
        const std::string byId = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        ebd::test::FakeSysfs fake;
        ebd::test::FakeSysfs::Usb ftdi;
        ftdi.byId = byId;
        fake.addUsb("ttyUSB0", ftdi);
        fake.addUart("ttyS0", "pnp0/00:05", "4");
        qputenv("EBD_COM2", QByteArray::fromStdString("/dev/serial/by-id/" + byId));
        window->describePorts(fake.root());
        qunsetenv("EBD_COM2");

        const QString path = QString::fromStdString("/dev/serial/by-id/" + byId);
        QCOMPARE(selector(2)->toolTip(), QStringLiteral("COM2: %1 (EBD_COM2)\n"
                                                        "by-id: %1\n"
                                                        "USB id: 0403:6001\n"
                                                        "manufacturer: FTDI\n"
                                                        "product: FT232R USB UART\n"
                                                        "serial number: A50285BI")
                                             .arg(path));
        // A UART has nothing more to tell; a device that is not there, nothing at all.
        QCOMPARE(selector(1)->toolTip(), QStringLiteral("COM1: /dev/ttyS0 (default)"));
        QCOMPARE(selector(3)->toolTip(), QStringLiteral("COM3: /dev/ttyUSB7 (EBD_COM3)"));
    }

    // On a screen the whole window fits on at its drawn position it opens there
    // (the offscreen platform's own screen is 800 x 800).
    void opensWhereDrawnWhenTheWholeWindowFits() {
        const QRect available = window->screen()->availableGeometry();
        if (!available.contains(QRect(225, 456, 195, 212)))
            QSKIP("the screen is too small for the drawn position");
        QCOMPARE(window->pos(), QPoint(225, 456));
    }

    // On 800 x 600 (test_window_small_screen) the drawn position would put the
    // lower edge and both buttons below the screen: the window moves up just enough.
    void onASmallScreenTheWholeWindowAndBothButtonsAreVisible() {
        const QRect available = window->screen()->availableGeometry();
        if (available != QRect(0, 0, 800, 600)) QSKIP("runs on an 800 x 600 screen");
        QCOMPARE(window->pos(), QPoint(225, 600 - TDisableTool::kOuterHeight));
        QVERIFY(available.contains(window->frameGeometry()));
        QVERIFY(available.contains(
            QRect(window->pos(), QSize(TDisableTool::kOuterWidth, TDisableTool::kOuterHeight))));
        for (const char* name : {"StartButton", "CloseButton"}) {
            auto* button = child<QPushButton>(name);
            QVERIFY2(available.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())), name);
        }
        // And they answer there.
        QVERIFY(attempt(0));
        click(child<QPushButton>("CloseButton"));
        QVERIFY(!window->isVisible());
    }

    void noPortChosenTouchesNoPort() {
        const auto message = attempt(0);
        QVERIFY(message);
        QCOMPARE(message->text, QStringLiteral("No COM Port selected"));
        QCOMPARE(message->caption, QStringLiteral("Error"));
        QCOMPARE(spy->writes, 0);
        QVERIFY(module->lineEvents().empty());
    }

    void aModuleInAtModeIsDoneWithABusyCursorMeanwhile() {
        const auto message = attempt(1);
        QVERIFY(message);
        QCOMPARE(message->text, QStringLiteral("Autostart successfully switched off"));
        QCOMPARE(message->caption, QStringLiteral("Disable Autostart"));
        QVERIFY(!module->firmware().javaAutostart());
        QVERIFY(spy->writes > 0);
        QCOMPARE(spy->bytesWithoutBusyCursor, 0);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(sim->openCount(), 0);
    }

    void failuresShowTheirMessages() {
        // COM 2 has nothing behind it.
        auto message = attempt(2);
        QVERIFY(message);
        QCOMPARE(message->text, QStringLiteral("Cannot connect to Module"));
        QCOMPARE(message->caption, QStringLiteral("Error"));

        module->firmware().refuse(Firmware::kJavaAutostart, 5);
        message = attempt(1);
        QVERIFY(message);
        QCOMPARE(message->text, QStringLiteral("Cannot switchoff autostart"));
        QCOMPARE(message->caption, QStringLiteral("Error"));
        QVERIFY(module->firmware().javaAutostart());

        module->firmware().refuse(Firmware::kJavaAutostart, 0);
        module->settings().neverSwitchOff = true;
        message = attempt(1);
        QVERIFY(message);
        QCOMPARE(message->text, QStringLiteral("Cannot close Module connection"));
        QCOMPARE(message->caption, QStringLiteral("Error"));
        QCOMPARE(spy->bytesWithoutBusyCursor, 0);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void twoAttemptsInARowOnOnePortBothSucceed() {
        auto message = attempt(1);
        QVERIFY(message);
        QCOMPARE(message->text, QStringLiteral("Autostart successfully switched off"));
        module->firmware().setJavaAutostart(true);
        message = attempt(1);
        QVERIFY(message);
        QCOMPARE(message->text, QStringLiteral("Autostart successfully switched off"));
        QVERIFY(!module->firmware().javaAutostart());
        QCOMPARE(module->powerOns(), 1);
    }

    void theRealMessageBoxIsModalPlainAndOwnedByTheWindow() {
        window->setMessageHook({});
        bool seen = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            poll.stop();
            seen = true;
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(box->parentWidget(), window.get());
            QCOMPARE(box->windowTitle(), QStringLiteral("Error"));
            QCOMPARE(box->text(), QStringLiteral("No COM Port selected"));
            QVERIFY(box->isModal());
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
        // Should the box not be found, it is closed anyway.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, this, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        guard.start(5000);
        click(child<QPushButton>("StartButton"));
        QVERIFY(seen);
        QVERIFY(window->findChildren<QMessageBox*>().isEmpty());
    }

    void theKeyboardWorksTheWindowAsADialog() {
        // Keys to the focused widget, then what the window shows: the widget
        // with the focus (none once closed), the chosen and checked port, the
        // outcomes shown.
        const struct {
            const char* keys;
            const char* after;
        } cases[] = {
            {"", "PortSelector1, port 0, checked 0, shown 0"},  // nothing checked at start
            {"Space", "PortSelector1, port 1, checked 1, shown 0"},
            {"Space, Down, Down", "PortSelector3, port 3, checked 3, shown 0"},
            {"Tab, Tab", "CloseButton, port 0, checked 0, shown 0"},
            {"Alt+5", "PortSelector5, port 5, checked 5, shown 0"},
            {"Return", "StartButton, port 0, checked 0, shown 1"},  // the default button, focused after
            {"Alt+A", "StartButton, port 0, checked 0, shown 1"},
            {"Tab, Tab, Return", ", port 0, checked 0, shown 0"},
            {"Esc", ", port 0, checked 0, shown 0"},
            {"Alt+C", ", port 0, checked 0, shown 0"},
        };
        for (const auto& test : cases) {
            openWindow();
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window.get()));
            QTest::keySequence(static_cast<QWidget*>(nullptr), QKeySequence(QString::fromLatin1(test.keys)));
            QTest::qWait(150);  // a mnemonic presses its button as a brief click
            const QWidget* focus = window->isVisible() ? QApplication::focusWidget() : nullptr;
            const QString after = QStringLiteral("%1, port %2, checked %3, shown %4")
                                      .arg(focus != nullptr ? focus->objectName() : QString())
                                      .arg(window->selectedPort())
                                      .arg(std::max(0, selector(1)->group()->checkedId()))
                                      .arg(shown.size());
            QCOMPARE(QString::fromLatin1(test.keys) + ": " + after,
                     QString::fromLatin1(test.keys) + ": " + QString::fromLatin1(test.after));
        }
    }

    void clicksAndKeysGivenDuringARunStartNoSecondAttempt() {
        auto* start = child<QPushButton>("StartButton");
        spy->duringRun = [start] {
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(
                    start, new QMouseEvent(type, QPointF(5, 5), start->mapToGlobal(QPointF(5, 5)),
                                           Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
                QCoreApplication::postEvent(start, new QKeyEvent(type, Qt::Key_Space, Qt::NoModifier));
        };
        QVERIFY(attempt(1));
        QCoreApplication::processEvents();
        QCOMPARE(shown.size(), size_t{1});
    }

    void closeEndsTheWindowAtOnce() {
        QVERIFY(window->isVisible());
        click(child<QPushButton>("CloseButton"));
        QVERIFY(!window->isVisible());
    }

    void savesPicturesOfTheWindowAndAMessageBox() {
        click(selector(5));
        window->activateWindow();
        const QImage image = window->grab().toImage();
        QCOMPARE(image.size() / image.devicePixelRatio(), QSize(187, 185));
        const QString windowPng = QStringLiteral(WINDOW_PNG_DIR "/disable-autostart-window.png");
        QVERIFY(image.save(windowPng));
        QVERIFY(QFileInfo(windowPng).size() > 0);

        std::unique_ptr<QMessageBox> box(window->createMessageBox(
            QStringLiteral("Autostart successfully switched off"), QStringLiteral("Disable Autostart")));
        box->show();
        QVERIFY(box->grab().save(QStringLiteral(WINDOW_PNG_DIR "/disable-autostart-message.png")));
    }
};

int main(int argc, char** argv) {
    // The window needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "window_test.moc"
