// The window of the tool on Windows, as a plain Win32 window built from the
// layout table it shares with the Qt window (window_geometry.h): eight radio
// buttons for the module's port, a button that runs the autostart-off
// workflow, and one message box per attempt.
#pragma once

#include <windows.h>

namespace ebd::app::win32 {

// Control ids, so that the dialog manager and tests can find the controls.
inline constexpr int kGroupId = 100;
inline constexpr int kFirstPortSelectorId = 101;  // PortSelector1; PortSelector8 is 108
inline constexpr int kStartButtonId = 110;
inline constexpr int kCloseButtonId = 111;

// Registers the window class "TDisableTool" once per process and creates the
// main window "DisableTool" at its place, with all its controls, not shown
// yet. nullptr when the system refuses.
HWND CreateDisableTool(HINSTANCE instance);

// The port chosen in a window made by CreateDisableTool: 0 for none, 1 to 8.
int SelectedPort(HWND window);

// Runs the window's messages until it is destroyed, as a dialog to the
// keyboard: Tab and the arrow keys move between its controls, Enter presses
// the focused or the default button, Esc closes, Alt and a caption's
// underlined letter press its control. Returns the status the application
// ends with.
int RunMessageLoop(HWND window);

// One message of the loop above: the dialog manager's keys first, then the
// window's own handling.
void DispatchWindowMessage(HWND window, MSG& message);

}  // namespace ebd::app::win32
