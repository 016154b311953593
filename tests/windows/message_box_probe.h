// Finds the message box a window shows, reads it and presses its button, as a
// user would; works across threads and processes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ebd::test {

struct MessageBoxSeen {
    bool found = false;
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;  // the captions of its visible buttons
    bool icon = false;                 // a visible icon
};

inline std::string WindowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

namespace detail {

struct BoxSearch {
    HWND owner;
    HWND box;
};

inline BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    if (ClassOf(window) == "#32770" && GetWindow(window, GW_OWNER) == search->owner &&
        IsWindowVisible(window)) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

inline BOOL CALLBACK ReadChild(HWND child, LPARAM parameter) {
    auto* seen = reinterpret_cast<MessageBoxSeen*>(parameter);
    if (!IsWindowVisible(child)) return TRUE;
    const std::string kind = ClassOf(child);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (kind == "Button") seen->buttons.push_back(WindowText(child));
    if (kind == "Static" && (style & SS_TYPEMASK) == SS_ICON && SendMessageA(child, STM_GETICON, 0, 0) != 0)
        seen->icon = true;
    return TRUE;
}

}  // namespace detail

// Waits up to `timeoutMs` for a message box owned by `owner`, reads it and
// closes it with its first visible button.
inline MessageBoxSeen AnswerMessageBox(HWND owner, DWORD timeoutMs) {
    MessageBoxSeen seen;
    detail::BoxSearch search{owner, nullptr};
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (search.box == nullptr && GetTickCount64() < end) {
        EnumWindows(&detail::FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.box == nullptr) Sleep(20);
    }
    if (search.box == nullptr) return seen;
    // The box is there; its controls may still be on their way.
    Sleep(100);
    seen.found = true;
    seen.caption = WindowText(search.box);
    char text[512] = {};
    GetDlgItemTextA(search.box, 0xFFFF, text, sizeof text);  // the message's static text
    seen.text = text;
    EnumChildWindows(search.box, &detail::ReadChild, reinterpret_cast<LPARAM>(&seen));
    HWND button = FindWindowExA(search.box, nullptr, "Button", nullptr);
    while (button != nullptr && !IsWindowVisible(button))
        button = FindWindowExA(search.box, button, "Button", nullptr);
    const int id = button != nullptr ? GetDlgCtrlID(button) : IDOK;
    PostMessageA(search.box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    // Gone before the caller goes on, so that the next search cannot find it.
    while (IsWindow(search.box) && GetTickCount64() < end + 5000) Sleep(20);
    return seen;
}

}  // namespace ebd::test
