#include "app/port_tooltips_win32.h"

#include <commctrl.h>

#include <string>

#include "app/port_names.h"

namespace ebd::app::win32 {

namespace {

// Wide enough for a /dev/serial/by-id or \\.\ path on one line; a tooltip
// with a width breaks its text at the line ends it holds.
constexpr LPARAM kTipWidth = 480;

}  // namespace

HWND AddPortTooltips(HWND window, int firstId, int count) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    HWND tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, nullptr, nullptr);
    if (tips == nullptr) return nullptr;
    SendMessageA(tips, TTM_SETMAXTIPWIDTH, 0, kTipWidth);
    for (int i = 0; i < count; ++i) {
        HWND button = GetDlgItem(window, firstId + i);
        if (button == nullptr) continue;
        // The control keeps its own copy of the text.
        std::string text = DescribePortMapping(i + 1);
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(button);
        tool.lpszText = text.data();
        SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
    return tips;
}

}  // namespace ebd::app::win32
