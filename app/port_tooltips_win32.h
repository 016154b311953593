// Tooltips for the port buttons of the Win32 window: each names the device
// its port stands for and where that comes from, as the Qt window's do.
#pragma once

#include <windows.h>

namespace ebd::app::win32 {

// Gives the buttons with ids firstId to firstId + count - 1, children of
// `window`, the description of ports 1 to count. The tooltip window belongs to
// `window` and goes with it. nullptr when the system makes no tooltip window.
HWND AddPortTooltips(HWND window, int firstId, int count);

}  // namespace ebd::app::win32
