#include "app/Disabletoolform_win32.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/port_tooltips_win32.h"
#include "app/window_geometry.h"
#include "app/window_placement.h"
#include "app/workflow.h"

namespace ebd::app::win32 {

namespace {

namespace layout = ebd::app::window;

// The pixels per inch the layout table was drawn at.
constexpr int kLayoutDpi = 96;

// What the window holds: the chosen port, the pixels per inch it is laid out
// for and the font of its controls at that density, and for the keyboard the
// control that had the focus when the window last lost it.
struct State {
    int selectedPort = 0;
    int dpi = kLayoutDpi;
    HFONT font = nullptr;
    HWND focus = nullptr;
    bool placingFocus = false;  // the window itself is moving the focus
};

State* StateOf(HWND window) {
    return reinterpret_cast<State*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// An exception must not travel through the system's frames: it is shown in
// the error box, and the application ends.
[[noreturn]] void Fatal(const char* what) {
    MessageBoxA(nullptr, what, layout::kApplicationTitle, MB_OK | MB_ICONHAND);
    std::exit(EXIT_FAILURE);
}

// A length of the layout at the window's pixels per inch.
int Scaled(int pixels, int dpi) {
    return MulDiv(pixels, dpi, kLayoutDpi);
}

layout::Place Scaled(const layout::Place& place, int dpi) {
    return {Scaled(place.left, dpi), Scaled(place.top, dpi), Scaled(place.width, dpi),
            Scaled(place.height, dpi)};
}

// The pixels per inch of the monitor the window is on, when the system tells
// each window its own (the function is looked up, so that the program still
// runs on systems without it), else the screen's.
int DpiOf(HWND window) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (dpiForWindow != nullptr) {
        const UINT dpi = dpiForWindow(window);
        if (dpi > 0 && dpi <= 0xFFFF) return static_cast<int>(dpi);
    }
    int dpi = 0;
    if (const HDC screen = GetDC(nullptr); screen != nullptr) {
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : kLayoutDpi;
}

HFONT MakeFont(int dpi) {
    return CreateFontA(Scaled(layout::kFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, layout::kFontFace);
}

// A control's place in the client area at the layout's density: the radio
// buttons, placed relative to the group box in the table, are siblings of it
// here (a group box passes no clicks on) and move with its corner.
layout::Place ClientPlace(const layout::Control& control, int id) {
    layout::Place place = control.place;
    if (id >= kFirstPortSelectorId && id < kFirstPortSelectorId + layout::kPorts) {
        place.left += layout::kGroup.place.left;
        place.top += layout::kGroup.place.top;
    }
    return place;
}

// The table's entry of a control id; nullptr for ids not in it.
const layout::Control* ControlOf(int id) {
    if (id == kGroupId) return &layout::kGroup;
    if (id == kStartButtonId) return &layout::kStartButton;
    if (id == kCloseButtonId) return &layout::kCloseButton;
    const int index = id - kFirstPortSelectorId;
    if (index >= 0 && index < layout::kPorts) return &layout::kPortSelectors[static_cast<size_t>(index)];
    return nullptr;
}

HWND MakeControl(HWND parent, const layout::Control& control, DWORD style, int id, int dpi, HFONT font) {
    const std::string caption = layout::CaptionWithMnemonic(control);
    const layout::Place place = Scaled(ClientPlace(control, id), dpi);
    HWND handle = CreateWindowExA(0, "BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE | style, place.left,
                                  place.top, place.width, place.height, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    if (handle != nullptr) SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return handle;
}

// The controls in the table's tab order, at the window's density. Tab order
// on Windows is the order in which sibling windows are made; the radio
// buttons, children of the group box in the table, come right after it. The
// first radio button opens the group the eight form (checking one unchecks the
// others; the arrow keys move within it); the Start button opens the next and
// is the default button, which Enter presses.
bool MakeControls(HWND window, int dpi, HFONT font) {
    struct TopLevel {
        const layout::Control* control;
        int id;
        DWORD style;
    };
    std::vector<TopLevel> topLevel{
        {&layout::kGroup, kGroupId, BS_GROUPBOX},
        {&layout::kStartButton, kStartButtonId, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP},
        {&layout::kCloseButton, kCloseButtonId, BS_PUSHBUTTON | WS_TABSTOP}};
    std::stable_sort(topLevel.begin(), topLevel.end(), [](const TopLevel& a, const TopLevel& b) {
        return a.control->tabOrder < b.control->tabOrder;
    });
    std::vector<int> selectors(layout::kPorts);
    for (int i = 0; i < layout::kPorts; ++i) selectors[static_cast<size_t>(i)] = i;
    std::stable_sort(selectors.begin(), selectors.end(), [](int a, int b) {
        return layout::kPortSelectors[static_cast<size_t>(a)].tabOrder <
               layout::kPortSelectors[static_cast<size_t>(b)].tabOrder;
    });

    for (const TopLevel& entry : topLevel) {
        if (MakeControl(window, *entry.control, entry.style, entry.id, dpi, font) == nullptr) return false;
        if (entry.id != kGroupId) continue;
        bool first = true;
        for (int i : selectors) {
            const layout::Control& selector = layout::kPortSelectors[static_cast<size_t>(i)];
            const DWORD style = BS_AUTORADIOBUTTON | WS_TABSTOP | (first ? WS_GROUP : 0);
            first = false;
            if (MakeControl(window, selector, style, kFirstPortSelectorId + i, dpi, font) == nullptr)
                return false;
        }
    }
    return true;
}

// Lays the window out anew for another density: every control at its scaled
// place, in a font of the scaled height. The old font goes once no control
// uses it any more. A font the system refuses keeps the old one.
void ChangeDpi(HWND window, State& state, int dpi) {
    const HFONT font = MakeFont(dpi);
    if (font == nullptr) return;
    state.dpi = dpi;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(child);
        if (const layout::Control* control = ControlOf(id); control != nullptr) {
            const layout::Place place = Scaled(ClientPlace(*control, id), dpi);
            SetWindowPos(child, nullptr, place.left, place.top, place.width, place.height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    const HFONT old = state.font;
    state.font = font;
    if (old != nullptr) DeleteObject(old);
}

// SelectPort: the number of the radio button clicked; any other sender 0.
void SelectPort(State& state, int senderId) {
    const int index = senderId - kFirstPortSelectorId;
    state.selectedPort = index >= 0 && index < layout::kPorts ? index + 1 : 0;
}

// The radio buttons show the chosen port and no other. A radio button is a
// tab stop only while checked; with none checked Tab still reaches the group,
// at its first button.
void ShowChosenPort(HWND window, const State& state) {
    for (int i = 0; i < layout::kPorts; ++i)
        SendDlgItemMessageA(window, kFirstPortSelectorId + i, BM_SETCHECK,
                            i + 1 == state.selectedPort ? BST_CHECKED : BST_UNCHECKED, 0);
    if (state.selectedPort != 0) return;
    HWND first = GetDlgItem(window, kFirstPortSelectorId);
    SetWindowLongA(first, GWL_STYLE, GetWindowLongA(first, GWL_STYLE) | WS_TABSTOP);
}

// Gives a control the focus the way the dialog manager does (a push button
// with the focus is the one Enter presses). A radio button that gets the
// focus from the keyboard checks itself and reports a click; a focus placed by
// the window chooses no port, so that nothing is checked at start.
void FocusControl(HWND window, State& state, HWND control) {
    if (control == nullptr) return;
    state.placingFocus = true;
    SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    state.placingFocus = false;
    ShowChosenPort(window, state);
}

// Where the focus goes when the window gets it back: the control that had it,
// else the chosen port's radio button, else the first.
HWND FocusOnReturn(HWND window, const State& state) {
    if (state.focus != nullptr && IsChild(window, state.focus)) return state.focus;
    const int port = state.selectedPort >= 1 && state.selectedPort <= layout::kPorts ? state.selectedPort : 1;
    return GetDlgItem(window, kFirstPortSelectorId + port - 1);
}

// The busy cursor for as long as the workflow runs, given back on every way out.
class BusyCursor {
public:
    BusyCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    ~BusyCursor() { SetCursor(previous_); }

private:
    HCURSOR previous_;
};

// Clicks and keys the user gave while the window did not respond are dropped:
// a second click on Start must not start a second attempt, and a key must not
// answer the outcome box before it was seen. The bound keeps a flood of
// input from holding the window.
void DropQueuedInput(HWND window) {
    constexpr int kMostMessages = 100000;
    constexpr UINT kRanges[][2] = {
        {WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST}, {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
    MSG message;
    int dropped = 0;
    for (const auto& range : kRanges) {
        while (dropped < kMostMessages && PeekMessageA(&message, window, range[0], range[1], PM_REMOVE))
            ++dropped;
    }
}

// AutoStartOff: the workflow on the window's thread, which answers nothing
// meanwhile (the busy cursor says so), then the outcome in a modal box with
// one OK button and no icon, owned by the window; the focus is then on the
// Start button again.
void AutoStartOff(HWND window, int selectedPort) {
    Outcome outcome = Outcome::NoPort;
    {
        const BusyCursor busy;
        outcome = RunAutostartOff(selectedPort).outcome;
    }
    DropQueuedInput(window);
    const Message message = MessageFor(outcome);
    MessageBoxA(window, message.text, message.caption, MB_OK);
    // The window may have gone while the box was up (the session ends).
    State* state = IsWindow(window) ? StateOf(window) : nullptr;
    if (state == nullptr) return;
    state->focus = GetDlgItem(window, kStartButtonId);
    if (GetActiveWindow() == window) FocusControl(window, *state, state->focus);
}

LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new State));
            break;
        case WM_CREATE: {
            State* state = StateOf(window);
            state->dpi = DpiOf(window);
            state->font = MakeFont(state->dpi);
            if (!MakeControls(window, state->dpi, state->font)) return -1;
            AddPortTooltips(window, kFirstPortSelectorId, layout::kPorts);
            return 0;
        }
        case WM_GETFONT: {
            const State* state = StateOf(window);
            return reinterpret_cast<LRESULT>(state != nullptr ? state->font : nullptr);
        }
        case WM_DPICHANGED: {
            // The window moved to a monitor of another density (or the
            // user changed it): the system suggests the window's new place
            // and size; the controls and the font follow.
            State* state = StateOf(window);
            const int dpi = HIWORD(wParam);
            if (state == nullptr || dpi == 0) return 0;
            if (dpi != state->dpi) ChangeDpi(window, *state, dpi);
            if (const auto* suggested = reinterpret_cast<const RECT*>(lParam); suggested != nullptr)
                SetWindowPos(window, nullptr, suggested->left, suggested->top,
                             suggested->right - suggested->left, suggested->bottom - suggested->top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_COMMAND: {
            State* state = StateOf(window);
            if (state == nullptr || HIWORD(wParam) != BN_CLICKED) break;
            const int id = LOWORD(wParam);
            if (id == kStartButtonId) {
                AutoStartOff(window, state->selectedPort);
            } else if (id == kCloseButtonId || id == IDCANCEL) {
                DestroyWindow(window);  // CloseApp; Esc and the frame's close box too
            } else if (id >= kFirstPortSelectorId && id < kFirstPortSelectorId + layout::kPorts) {
                if (!state->placingFocus) SelectPort(*state, id);
            }
            return 0;
        }
        case WM_ACTIVATE: {
            State* state = StateOf(window);
            if (state == nullptr) break;
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus != nullptr && IsChild(window, focus)) state->focus = focus;
            } else if (HIWORD(wParam) == 0) {
                FocusControl(window, *state, FocusOnReturn(window, *state));
            }
            return 0;
        }
        case WM_SETFOCUS: {
            State* state = StateOf(window);
            if (state == nullptr) break;
            FocusControl(window, *state, FocusOnReturn(window, *state));
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            State* state = StateOf(window);
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            if (state != nullptr && state->font != nullptr) DeleteObject(state->font);
            delete state;
            break;
        }
        default:
            break;
    }
    return DefDlgProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Handle(window, message, wParam, lParam);
    } catch (const std::exception& error) {
        Fatal(error.what());
    } catch (...) {
        Fatal("Unknown error");
    }
}

bool RegisterClassOnce(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    if (GetClassInfoExA(instance, layout::kClassName, &windowClass)) return true;
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProcedure;
    // A dialog to the keyboard: the dialog manager's own window data.
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = layout::kClassName;
    return RegisterClassExA(&windowClass) != 0;
}

}  // namespace

HWND CreateDisableTool(HINSTANCE instance) {
    if (!RegisterClassOnce(instance)) return nullptr;
    // A fixed frame: caption, system menu and minimise box, no sizing border.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    HWND window = CreateWindowExA(0, layout::kClassName, layout::kCaption, style, layout::kFrame.left,
                                  layout::kFrame.top, layout::kFrame.width, layout::kFrame.height, nullptr,
                                  nullptr, instance, nullptr);
    if (window == nullptr) return nullptr;
    // The frame at the density of the monitor it opened on, at the table's
    // position (which is a place on the desktop, not a size).
    if (const State* state = StateOf(window); state != nullptr && state->dpi != kLayoutDpi)
        SetWindowPos(window, nullptr, 0, 0, Scaled(layout::kFrame.width, state->dpi),
                     Scaled(layout::kFrame.height, state->dpi), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Seen whole: a screen too small for the drawn position (or for the
    // window at a high density) moves it just enough, as the Qt window does.
    RECT frame{};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetWindowRect(window, &frame) &&
        GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        const ScreenPoint place =
            KeepOnScreen({frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top},
                         {work.left, work.top, work.right - work.left, work.bottom - work.top});
        if (place.left != frame.left || place.top != frame.top)
            SetWindowPos(window, nullptr, place.left, place.top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The dialog manager's default button, which Enter presses when the focus
    // is on no push button.
    SendMessageA(window, DM_SETDEFID, kStartButtonId, 0);
    return window;
}

int SelectedPort(HWND window) {
    const State* state = StateOf(window);
    return state != nullptr ? state->selectedPort : 0;
}

void DispatchWindowMessage(HWND window, MSG& message) {
    if (IsWindow(window) && IsDialogMessageA(window, &message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

int RunMessageLoop(HWND window) {
    MSG message{};
    BOOL got = 0;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) DispatchWindowMessage(window, message);
    return got < 0 ? EXIT_FAILURE : static_cast<int>(message.wParam);
}

}  // namespace ebd::app::win32
