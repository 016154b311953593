// disable-autostart: the window of the tool.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "app/Disabletoolform.h"

#ifndef EBD_TOOL_VERSION
#define EBD_TOOL_VERSION "unknown"
#endif

namespace {

const QString kTitle = QStringLiteral("Autostart Off");

const char* const kUsage =
    "Usage: disable-autostart [OPTION]...\n"
    "Show the window that switches off the Java autostart of the module on a serial port:\n"
    "choose the port among COM 1 to COM 8 and press \"Autostart Off\".\n"
    "\n"
    "  --help     show this text and stop\n"
    "  --version  show the version and stop\n"
    "\n"
    "COM<N> is the device named by the environment variable EBD_COM<N>, else by the port map\n"
    "(autostart-off --map-port), else /dev/ttyS<N-1>; a port's tooltip names its device and\n"
    "where it comes from. The toolkit's own options, such as -platform NAME, are taken as well.\n"
    "\n"
    "Exit status:\n"
    "  0   the window was closed\n"
    "  1   an error ended the application\n";

// --help and --version are answered before the toolkit starts, so that they
// work without a display.
bool AnsweredWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("disable-autostart %s\n", EBD_TOOL_VERSION);
            return true;
        }
    }
    return false;
}

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
    if (AnsweredWithoutWindow(argc, argv)) return 0;
    Application application(argc, argv);
    QApplication::setApplicationName(kTitle);
    // The desktop entry of the same name gives the window its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("disable-autostart"));
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
