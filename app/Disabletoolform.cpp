#include "app/Disabletoolform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <memory>
#include <string>
#include <vector>

#include "app/port_names.h"
#include "app/serial_devices.h"
#include "app/window_placement.h"
#include "platform/platform.h"

namespace {

namespace layout = ebd::app::window;

void Put(QWidget* widget, const layout::Control& control) {
    widget->setObjectName(QString::fromLatin1(control.name));
    widget->setGeometry(control.place.left, control.place.top, control.place.width, control.place.height);
}

QString Caption(const layout::Control& control) {
    return QString::fromStdString(layout::CaptionWithMnemonic(control));
}

// While it lives, the user's clicks and keys to one window are dropped.
class InputDrop final : public QObject {
public:
    explicit InputDrop(const QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    InputDrop(const InputDrop&) = delete;
    InputDrop& operator=(const InputDrop&) = delete;
    ~InputDrop() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* target, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::Wheel: {
                const auto* widget = qobject_cast<const QWidget*>(target);
                return widget != nullptr && widget->window() == window_;
            }
            default:
                return false;
        }
    }

private:
    const QWidget* window_;
};

// The busy cursor for as long as the workflow runs.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

QFont TDisableTool::FormFont() {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(-layout::kFontHeight);
    // The common sans serif faces run wider than the face the layout was
    // drawn with; semi-condensed, "Autostart Off" fits its 72-pixel button.
    font.setStretch(QFont::SemiCondensed);
    return font;
}

TDisableTool::TDisableTool(QWidget* parent) : QWidget(parent) {
    setObjectName(QString::fromLatin1(layout::kName));
    setWindowTitle(QString::fromLatin1(layout::kCaption));
    setFont(FormFont());
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);
    setFixedSize(kClientWidth, kClientHeight);
    placeOnScreen();

    COMPortFrame = new QGroupBox(Caption(layout::kGroup), this);
    Put(COMPortFrame, layout::kGroup);

    portGroup_ = new QButtonGroup(this);
    portGroup_->setExclusive(true);
    for (int i = 0; i < kPorts; ++i) {
        const int number = i + 1;
        const layout::Control& control = layout::kPortSelectors[static_cast<size_t>(i)];
        auto* selector = new QRadioButton(Caption(control), COMPortFrame);
        Put(selector, control);
        portGroup_->addButton(selector, number);
        connect(selector, &QRadioButton::clicked, this, &TDisableTool::SelectPort);
        PortSelector[static_cast<size_t>(i)] = selector;
    }

    // Enter presses the push button with the focus, else the default one,
    // "Autostart Off" (keyPressEvent); Esc closes.
    StartButton = new QPushButton(Caption(layout::kStartButton), this);
    Put(StartButton, layout::kStartButton);
    StartButton->setAutoDefault(true);
    StartButton->setDefault(true);
    connect(StartButton, &QPushButton::clicked, this, &TDisableTool::AutoStartOff);

    CloseButton = new QPushButton(Caption(layout::kCloseButton), this);
    Put(CloseButton, layout::kCloseButton);
    CloseButton->setAutoDefault(true);
    connect(CloseButton, &QPushButton::clicked, this, &TDisableTool::CloseApp);

    // The group box first with its buttons in order, then Start, then Close.
    for (int i = 1; i < kPorts; ++i)
        setTabOrder(PortSelector[static_cast<size_t>(i - 1)], PortSelector[static_cast<size_t>(i)]);
    setTabOrder(PortSelector[kPorts - 1], StartButton);
    setTabOrder(StartButton, CloseButton);
    // The first port has the focus at start; nothing is checked.
    PortSelector[0]->setFocus(Qt::OtherFocusReason);

    describePorts("/");
}

void TDisableTool::describePorts(const std::string& root) {
    const std::vector<ebd::app::SerialDevice> devices = ebd::app::FindSerialDevices(root);
    for (int number = 1; number <= kPorts; ++number) {
        QString tip = QString::fromStdString(ebd::app::DescribePortMapping(number));
        if (const ebd::app::SerialDevice* device = ebd::app::DeviceForPort(devices, number)) {
            for (const std::string& line : ebd::app::DescribeSerialDevice(*device))
                tip += QLatin1Char('\n') + QString::fromStdString(line);
        }
        PortSelector[static_cast<size_t>(number - 1)]->setToolTip(tip);
    }
}

// The drawn position when the whole window fits on the screen there, else
// moved just enough to be fully visible. The frame is known only once the
// window is on the screen; until then it is the frame the layout was drawn
// for, the outer size.
void TDisableTool::placeOnScreen() {
    const QScreen* screen = QGuiApplication::screenAt(QPoint(kLeft, kTop));
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    const QSize frame = frameGeometry().size().expandedTo(QSize(kOuterWidth, kOuterHeight));
    const ebd::app::ScreenPoint place =
        ebd::app::KeepOnScreen({kLeft, kTop, frame.width(), frame.height()},
                               {available.x(), available.y(), available.width(), available.height()});
    move(place.left, place.top);
}

TDisableTool::~TDisableTool() = default;

void TDisableTool::SelectPort() {
    selectedPort_ = 0;
    for (int i = 0; i < kPorts; ++i) {
        if (sender() == PortSelector[static_cast<size_t>(i)]) selectedPort_ = i + 1;
    }
}

void TDisableTool::AutoStartOff() {
    ebd::app::Outcome outcome = ebd::app::Outcome::NoPort;
    {
        // The window answers nothing while the library works; the cursor says so.
        const BusyCursor busy;
        outcome = ebd::app::RunAutostartOff(selectedPort_).outcome;
    }
    dropQueuedInput();
    showMessage(ebd::app::MessageFor(outcome));
    StartButton->setFocus(Qt::OtherFocusReason);
}

// Clicks and keys the user gave while the window did not respond are taken
// from the queue and dropped: a second click on "Autostart Off" must not start
// a second attempt, and a key must not answer the outcome box unseen.
void TDisableTool::dropQueuedInput() {
    const InputDrop drop(this);
    QCoreApplication::processEvents();
}

void TDisableTool::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A focused push button takes Enter itself; from anywhere else it
            // presses the default button.
            if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
                StartButton->click();
                return;
            }
            break;
        case Qt::Key_Escape:
            if (event->modifiers() == Qt::NoModifier) {
                CloseApp();
                return;
            }
            break;
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

void TDisableTool::CloseApp() {
    close();
}

QMessageBox* TDisableTool::createMessageBox(const QString& text, const QString& caption) {
    return new QMessageBox(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, this);
}

void TDisableTool::showMessage(const ebd::app::Message& message) {
    const QString text = QString::fromUtf8(message.text);
    const QString caption = QString::fromUtf8(message.caption);
    if (messageHook_) {
        messageHook_(text, caption);
        return;
    }
    const std::unique_ptr<QMessageBox> box(createMessageBox(text, caption));
    box->exec();
}
