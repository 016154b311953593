// The window of the tool: eight radio buttons for the module's port, a button
// that runs the autostart-off workflow, and one message box per attempt.
#pragma once

#include <QFont>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "app/window_geometry.h"
#include "app/workflow.h"

class QButtonGroup;
class QGroupBox;
class QKeyEvent;
class QMessageBox;
class QPushButton;
class QRadioButton;

class TDisableTool : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPorts = ebd::app::window::kPorts;
    // The window's frame on the desktop it was laid out for, from the layout
    // table both builds of the window share (window_geometry.h).
    static constexpr int kOuterWidth = ebd::app::window::kFrame.width;
    static constexpr int kOuterHeight = ebd::app::window::kFrame.height;
    static constexpr int kClientWidth = ebd::app::window::kClientWidth;
    static constexpr int kClientHeight = ebd::app::window::kClientHeight;
    static constexpr int kLeft = ebd::app::window::kFrame.left;
    static constexpr int kTop = ebd::app::window::kFrame.top;

    // Shows an outcome: message text and caption. Tests capture it; the real
    // window shows a modal box.
    using MessageHook = std::function<void(const QString& text, const QString& caption)>;

    explicit TDisableTool(QWidget* parent = nullptr);
    ~TDisableTool() override;

    // 8 point sans serif at 11 pixels, the size the layout was made for.
    static QFont FormFont();

    int selectedPort() const { return selectedPort_; }
    // An empty hook restores the modal message box.
    void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    // The message box of an outcome: no icon, one OK button, owned by this
    // window. Not shown yet; the caller deletes it.
    QMessageBox* createMessageBox(const QString& text, const QString& caption);
    // Sets each port's tooltip: its device, and what the serial devices found
    // below `root` tell about it ("/" on a running system).
    void describePorts(const std::string& root);

public slots:
    void SelectPort();
    void AutoStartOff();
    void CloseApp();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showMessage(const ebd::app::Message& message);
    void dropQueuedInput();
    void placeOnScreen();

    QGroupBox* COMPortFrame = nullptr;
    std::array<QRadioButton*, kPorts> PortSelector{};
    QPushButton* StartButton = nullptr;
    QPushButton* CloseButton = nullptr;
    QButtonGroup* portGroup_ = nullptr;
    int selectedPort_ = 0;
    MessageHook messageHook_;
};
