// disable-autostart: the window of the tool.
#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <exception>

#include "app/Disabletoolform.h"

namespace {

const QString kTitle = QStringLiteral("Autostart Off");

void ShowError(const char* what) {
    QMessageBox::critical(nullptr, kTitle, QString::fromLocal8Bit(what));
}

// Qt lets no exception pass through its event loop: one that leaves an event
// handler is caught here, shown, and ends the application.
class Application final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            ShowError(error.what());
        } catch (...) {
            ShowError("Unknown error");
        }
        std::exit(EXIT_FAILURE);
    }
};

}  // namespace

int main(int argc, char** argv) {
    Application application(argc, argv);
    QApplication::setApplicationName(kTitle);
    QApplication::setFont(TDisableTool::FormFont());
    try {
        TDisableTool window;
        window.show();
        QApplication::exec();
    } catch (const std::exception& error) {
        ShowError(error.what());
        return EXIT_FAILURE;
    }
    return 0;
}
