// disable-autostart.exe: the window of the tool on Windows.
#include <windows.h>

#include <cstdlib>
#include <exception>

#include "app/Disabletoolform_win32.h"
#include "app/window_geometry.h"

namespace {

// The system's error box, under the application's title.
void ShowError(const char* what) {
    MessageBoxA(nullptr, what, ebd::app::window::kApplicationTitle, MB_OK | MB_ICONHAND);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
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
