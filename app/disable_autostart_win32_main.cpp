// disable-autostart.exe: the window of the tool on Windows.
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <sstream>
#include <string>

#include "app/Disabletoolform_win32.h"
#include "app/window_geometry.h"

namespace {

// The system's error box, under the application's title.
void ShowError(const char* what) {
    MessageBoxA(nullptr, what, ebd::app::window::kApplicationTitle, MB_OK | MB_ICONHAND);
}

const char* const kUsage =
    "Usage: disable-autostart [/?]\n"
    "Shows the window that switches off the Java autostart of the module on a serial port: "
    "choose the port among COM 1 to COM 8 and press \"Autostart Off\".\n"
    "\n"
    "COM<N> is the device named by the environment variable EBD_COM<N>, else by the port map "
    "(HKEY_CURRENT_CONFIG\\QMB_Library\\Ports, see autostart-off --help), else \\\\.\\COM<N>; "
    "a port's tooltip names its device and where it comes from.\n"
    "\n"
    "/?  show this text and stop";

// A program without a console answers /? (or --help) with a box.
bool AskedForHelp(const char* commandLine) {
    std::istringstream words(commandLine != nullptr ? commandLine : "");
    for (std::string word; words >> word;) {
        if (word == "/?" || word == "--help" || word == "-h") return true;
    }
    return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    if (AskedForHelp(commandLine)) {
        MessageBoxA(nullptr, kUsage, ebd::app::window::kApplicationTitle, MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    try {
        HWND window = ebd::app::win32::CreateDisableTool(instance);
        if (window == nullptr) {
            ShowError("The window cannot be created.");
            return EXIT_FAILURE;
        }
        ShowWindow(window, show);
        UpdateWindow(window);
        ebd::app::win32::RunMessageLoop(window);
    } catch (const std::exception& error) {
        ShowError(error.what());
        return EXIT_FAILURE;
    } catch (...) {
        ShowError("Unknown error");
        return EXIT_FAILURE;
    }
    return 0;
}
