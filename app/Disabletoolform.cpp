#include "app/Disabletoolform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
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

    COMPortFrame = new QGroupBox(QString::fromLatin1(layout::kGroup.caption), this);
    Put(COMPortFrame, layout::kGroup);

    portGroup_ = new QButtonGroup(this);
    portGroup_->setExclusive(true);
    for (int i = 0; i < kPorts; ++i) {
        const int number = i + 1;
        const layout::Control& control = layout::kPortSelectors[static_cast<size_t>(i)];
        auto* selector = new QRadioButton(QString::fromLatin1(control.caption), COMPortFrame);
        Put(selector, control);
        portGroup_->addButton(selector, number);
        connect(selector, &QRadioButton::clicked, this, &TDisableTool::SelectPort);
        PortSelector[static_cast<size_t>(i)] = selector;
    }

    StartButton = new QPushButton(QString::fromLatin1(layout::kStartButton.caption), this);
    Put(StartButton, layout::kStartButton);
    connect(StartButton, &QPushButton::clicked, this, &TDisableTool::AutoStartOff);

    CloseButton = new QPushButton(QString::fromLatin1(layout::kCloseButton.caption), this);
    Put(CloseButton, layout::kCloseButton);
    connect(CloseButton, &QPushButton::clicked, this, &TDisableTool::CloseApp);

    // The group box first with its buttons in order, then Start, then Close.
    for (int i = 1; i < kPorts; ++i)
        setTabOrder(PortSelector[static_cast<size_t>(i - 1)], PortSelector[static_cast<size_t>(i)]);
    setTabOrder(PortSelector[kPorts - 1], StartButton);
    setTabOrder(StartButton, CloseButton);

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
    showMessage(ebd::app::MessageFor(outcome));
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
