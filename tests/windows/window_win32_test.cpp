// The Win32 window in this process, against the module double under virtual
// time: its layout from the shared table, its radio group, its message boxes
// and the busy cursor while the workflow runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "app/Disabletoolform_win32.h"
#include "app/window_geometry.h"
#include "message_box_probe.h"
#include "platform/sim_platform.h"
#include "sim/module_double.h"
#include "wine_probe.h"

namespace ebd::test {
namespace {

namespace layout = ebd::app::window;
using namespace ebd::app::win32;
using sim::ModuleDouble;

// A module double that notes the cursor whenever the host writes to it, that
// is while the workflow runs.
class CursorWatch final : public platform::SimPeer {
public:
    explicit CursorWatch(ModuleDouble& module) : module_(module) {}
    void onHostBytes(const uint8_t* data, size_t count, uint64_t nowNs) override {
        cursors.push_back(GetCursor());
        if (cursors.size() == 1 && duringRun) duringRun();
        module_.onHostBytes(data, count, nowNs);
    }
    void onLine(const platform::LineSettings& settings, uint64_t nowNs) override {
        module_.onLine(settings, nowNs);
    }
    void onOpen(bool open, uint64_t nowNs) override { module_.onOpen(open, nowNs); }
    void advanceTo(uint64_t nowNs) override { module_.advanceTo(nowNs); }
    uint64_t nextEventNs() const override { return module_.nextEventNs(); }
    bool frontOutput(uint64_t* atNs) const override { return module_.frontOutput(atNs); }
    uint8_t popOutput() override { return module_.popOutput(); }
    void onPurge(uint64_t nowNs) override { module_.onPurge(nowNs); }

    std::vector<HCURSOR> cursors;
    std::function<void()> duringRun;  // once, while the workflow runs

private:
    ModuleDouble& module_;
};

// The caption as it reads on screen: an '&' only marks the next letter.
std::string Visible(std::string caption) {
    caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    return caption;
}

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override {
        platform::install(&sim);
        window = CreateDisableTool(GetModuleHandleA(nullptr));
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (IsWindow(window)) DestroyWindow(window);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        platform::install(nullptr);
    }
    HWND control(int id) const { return GetDlgItem(window, id); }
    HWND selector(int number) const { return control(kFirstPortSelectorId + number - 1); }
    // Clicks Start and answers the message box the workflow ends with.
    MessageBoxSeen clickStart() {
        auto answer = std::async(std::launch::async, [this] { return AnswerMessageBox(window, 20000); });
        SendMessageA(control(kStartButtonId), BM_CLICK, 0, 0);
        return answer.get();
    }
    // Does something and answers every message box until it returns.
    std::vector<std::string> answeringAll(const std::function<void()>& act) {
        std::atomic<bool> done{false};
        auto answers = std::async(std::launch::async, [this, &done] {
            std::vector<std::string> seen;
            while (!done)
                if (const MessageBoxSeen box = AnswerMessageBox(window, 100); box.found)
                    seen.push_back(box.text);
            return seen;
        });
        act();
        pump();
        done = true;
        return answers.get();
    }
    // Shows the window in front, as the program does.
    void show() {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        pump();
    }
    // Runs what is queued through the window's own message path.
    void pump() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchWindowMessage(window, message);
    }
    // A control's place relative to the window's client area.
    RECT placeOf(int id) const {
        RECT rect{};
        GetWindowRect(control(id), &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    static void expectPlace(const RECT& rect, int left, int top, const layout::Place& place,
                            const char* name) {
        EXPECT_EQ(rect.left, left) << name;
        EXPECT_EQ(rect.top, top) << name;
        EXPECT_EQ(rect.right - rect.left, place.width) << name;
        EXPECT_EQ(rect.bottom - rect.top, place.height) << name;
    }
    static LOGFONTA fontOf(HWND handle) {
        LOGFONTA font{};
        const auto hfont = reinterpret_cast<HFONT>(SendMessageA(handle, WM_GETFONT, 0, 0));
        if (hfont != nullptr) GetObjectA(hfont, sizeof font, &font);
        return font;
    }

    platform::SimPlatform sim;
    HWND window = nullptr;
};

TEST_F(Win32Window, IsLaidOutAsTheSharedTableSays) {
    EXPECT_EQ(ClassOf(window), "TDisableTool");
    EXPECT_EQ(WindowText(window), "Disable Autostart");
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, 225);
    EXPECT_EQ(frame.top, 456);
    EXPECT_EQ(frame.right - frame.left, 195);
    EXPECT_EQ(frame.bottom - frame.top, 212);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON)),
              LoadIconA(nullptr, IDI_APPLICATION));

    const layout::Place& group = layout::kGroup.place;
    expectPlace(placeOf(kGroupId), group.left, group.top, group, "COMPortFrame");
    EXPECT_EQ(WindowText(control(kGroupId)), "COM Port for Module");
    for (int number = 1; number <= 8; ++number) {
        const layout::Control& entry = layout::kPortSelectors[static_cast<size_t>(number - 1)];
        expectPlace(placeOf(kFirstPortSelectorId + number - 1), group.left + entry.place.left,
                    group.top + entry.place.top, entry.place, entry.name);
        EXPECT_EQ(Visible(WindowText(selector(number))), "COM " + std::to_string(number));
        const LONG style = GetWindowLongA(selector(number), GWL_STYLE);
        EXPECT_EQ(style & BS_TYPEMASK, BS_AUTORADIOBUTTON) << entry.name;
        EXPECT_EQ((style & WS_GROUP) != 0, number == 1) << entry.name << ": one group of eight";
        EXPECT_NE(style & WS_TABSTOP, 0) << entry.name;
        EXPECT_EQ(SendMessageA(selector(number), BM_GETCHECK, 0, 0), BST_UNCHECKED) << entry.name;
    }
    expectPlace(placeOf(kStartButtonId), 10, 144, layout::kStartButton.place, "StartButton");
    expectPlace(placeOf(kCloseButtonId), 102, 144, layout::kCloseButton.place, "CloseButton");
    EXPECT_EQ(Visible(WindowText(control(kStartButtonId))), "Autostart Off");
    EXPECT_EQ(Visible(WindowText(control(kCloseButtonId))), "Close");
    EXPECT_NE(GetWindowLongA(control(kStartButtonId), GWL_STYLE) & WS_GROUP, 0)
        << "Start closes the radio group";

    for (HWND handle : {window, control(kGroupId), selector(1), selector(8), control(kStartButtonId)}) {
        const LOGFONTA font = fontOf(handle);
        EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
        EXPECT_EQ(font.lfHeight, -11);
    }
}

TEST_F(Win32Window, TabOrderRunsThroughTheGroupThenStartThenClose) {
    std::vector<int> order;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        order.push_back(GetDlgCtrlID(child));
    EXPECT_EQ(order, (std::vector<int>{100, 101, 102, 103, 104, 105, 106, 107, 108, 110, 111}));
    std::vector<int> tabs;
    HWND at = selector(1);
    for (int i = 0; i < 11; ++i) {
        tabs.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(window, at, FALSE);
    }
    EXPECT_EQ(tabs, (std::vector<int>{101, 102, 103, 104, 105, 106, 107, 108, 110, 111, 101}));
}

TEST_F(Win32Window, TheEightRadioButtonsAreOneExclusiveGroup) {
    EXPECT_EQ(SelectedPort(window), 0);
    SendMessageA(selector(3), BM_CLICK, 0, 0);
    EXPECT_EQ(SelectedPort(window), 3);
    SendMessageA(selector(5), BM_CLICK, 0, 0);
    EXPECT_EQ(SelectedPort(window), 5);
    for (int number = 1; number <= 8; ++number)
        EXPECT_EQ(SendMessageA(selector(number), BM_GETCHECK, 0, 0),
                  number == 5 ? BST_CHECKED : BST_UNCHECKED)
            << "COM " << number;
}

TEST_F(Win32Window, StartWithoutAPortSaysNoComPortSelectedAndTouchesNoPort) {
    ModuleDouble module;
    sim.attach("COM1", &module);
    const MessageBoxSeen box = clickStart();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, "No COM Port selected");
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    EXPECT_FALSE(box.icon);
    EXPECT_TRUE(module.received().empty());
    EXPECT_TRUE(module.lineEvents().empty());
}

TEST_F(Win32Window, StartOnComFiveSwitchesTheAutostartOffUnderTheBusyCursor) {
    ModuleDouble module;
    CursorWatch watch(module);
    sim.attach("COM5", &watch);
    SendMessageA(selector(5), BM_CLICK, 0, 0);
    const HCURSOR before = GetCursor();
    const MessageBoxSeen box = clickStart();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, "Autostart successfully switched off");
    EXPECT_EQ(box.caption, "Disable Autostart");
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    EXPECT_FALSE(module.firmware().javaAutostart());
    EXPECT_EQ(module.state(), ModuleDouble::State::Off);
    const HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_FALSE(watch.cursors.empty());
    for (HCURSOR cursor : watch.cursors) EXPECT_EQ(cursor, wait);
    EXPECT_EQ(GetCursor(), before) << "the cursor is given back when the workflow ends";
    EXPECT_EQ(SelectedPort(window), 5) << "the chosen port stays for the next attempt";
}

TEST_F(Win32Window, ARefusedAutostartRequestIsReportedInItsBox) {
    ModuleDouble module;
    module.firmware().refuse(sim::Firmware::kJavaAutostart, 1);
    sim.attach("COM2", &module);
    SendMessageA(selector(2), BM_CLICK, 0, 0);
    const MessageBoxSeen box = clickStart();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, "Cannot switchoff autostart");
    EXPECT_EQ(box.caption, "Error");
}

// At each density Windows tells the window of, with the frame it suggests:
// the window takes that frame, every control its place scaled (within a pixel
// of rounding) and a font of the scaled height in which each caption still
// fits; back at 96 it is as drawn.
TEST_F(Win32Window, EveryCaptionFitsItsControlInTheFormFont) {
    std::vector<std::pair<int, const layout::Control*>> controls{{kGroupId, &layout::kGroup},
                                                                 {kStartButtonId, &layout::kStartButton},
                                                                 {kCloseButtonId, &layout::kCloseButton}};
    for (int i = 0; i < layout::kPorts; ++i)
        controls.emplace_back(kFirstPortSelectorId + i, &layout::kPortSelectors[static_cast<size_t>(i)]);
    for (const int dpi : {96, 144, 120, 192, 96}) {
        SCOPED_TRACE(dpi);
        const auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
        RECT suggested{300, 200, 300 + scaled(layout::kFrame.width), 200 + scaled(layout::kFrame.height)};
        SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        RECT frame{};
        GetWindowRect(window, &frame);
        EXPECT_TRUE(EqualRect(&frame, &suggested));
        EXPECT_EQ(fontOf(window).lfHeight, scaled(layout::kFontHeight));
        for (const auto& [id, entry] : controls) {
            const layout::Place& group = layout::kGroup.place;
            const bool inGroup = id != kGroupId && id < kStartButtonId;
            const RECT at = placeOf(id);
            EXPECT_NEAR(at.left, scaled(entry->place.left + (inGroup ? group.left : 0)), 1) << entry->name;
            EXPECT_NEAR(at.top, scaled(entry->place.top + (inGroup ? group.top : 0)), 1) << entry->name;
            EXPECT_NEAR(at.right - at.left, scaled(entry->place.width), 1) << entry->name;
            EXPECT_NEAR(at.bottom - at.top, scaled(entry->place.height), 1) << entry->name;
        }
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            // Besides its caption a group box draws the indent of its title, a
            // radio button its glyph and a gap, a push button frame and focus
            // mark; these grow with the density as the caption does.
            const LONG type = GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
            const int beside = scaled(type == BS_GROUPBOX          ? 16
                                      : type == BS_AUTORADIOBUTTON ? GetSystemMetrics(SM_CXMENUCHECK) + 4
                                                                   : 8);
            const std::string caption = Visible(WindowText(child));
            const HDC dc = GetDC(child);
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)));
            char face[LF_FACESIZE] = {};
            GetTextFaceA(dc, LF_FACESIZE, face);
            SIZE size{};
            GetTextExtentPoint32A(dc, caption.data(), static_cast<int>(caption.size()), &size);
            ReleaseDC(child, dc);
            RECT client{};
            GetClientRect(child, &client);
            EXPECT_LE(size.cx + beside, client.right) << caption << " in " << face;
            EXPECT_LE(size.cy, client.bottom) << caption << " in " << face;
            // Under Wine the face must come from Windows' own fonts, not a stand-in.
            EXPECT_TRUE(!UnderWine() || std::string(face) == "MS Sans Serif") << face;
        }
    }
}

struct Key {
    UINT message;  // WM_KEYDOWN (then up), WM_CHAR, WM_SYSCHAR (with Alt)
    WPARAM code;
};
constexpr Key kTab{WM_KEYDOWN, VK_TAB}, kEnter{WM_KEYDOWN, VK_RETURN}, kDown{WM_KEYDOWN, VK_DOWN};

TEST_F(Win32Window, TheKeyboardWorksTheWindowAsADialog) {
    const struct {
        const char* what;
        std::vector<Key> keys;
        int focus;  // 0: the window is gone
        int port;
        size_t boxes;
    } cases[] = {
        {"at start the first port has the focus, none is checked", {}, 101, 0, 0},
        {"Space checks the focused port", {{WM_KEYDOWN, VK_SPACE}}, 101, 1, 0},
        {"the arrows move within the group and check", {kDown, kDown}, 103, 3, 0},
        {"Up from the first port wraps to the last", {{WM_KEYDOWN, VK_UP}}, 108, 8, 0},
        {"Tab leaves the group, then reaches Close", {kTab, kTab}, kCloseButtonId, 0, 0},
        {"Tab from Close comes back to the group", {kTab, kTab, kTab}, 101, 0, 0},
        {"a port's digit, alone or with Alt", {{WM_CHAR, '5'}, {WM_SYSCHAR, '7'}}, 107, 7, 0},
        {"Enter presses Autostart Off, which has the focus after the box", {kEnter}, kStartButtonId, 0, 1},
        {"Alt+A presses Autostart Off", {{WM_SYSCHAR, 'a'}}, kStartButtonId, 0, 1},
        {"Enter on Close closes", {kTab, kTab, kEnter}, 0, 0, 0},
        {"Esc closes", {{WM_KEYDOWN, VK_ESCAPE}}, 0, 0, 0},
        {"Alt+C closes", {{WM_SYSCHAR, 'c'}}, 0, 0, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        if (!IsWindow(window)) window = CreateDisableTool(GetModuleHandleA(nullptr));
        show();
        const auto boxes = answeringAll([&] {
            for (const Key& key : test.keys) {
                const HWND to = GetFocus();
                PostMessageA(to, key.message, key.code,
                             key.message == WM_SYSCHAR ? 1 | (LPARAM{1} << 29) : 1);
                if (key.message == WM_KEYDOWN) PostMessageA(to, WM_KEYUP, key.code, 1 | (LPARAM{3} << 30));
                pump();
            }
        });
        EXPECT_EQ(boxes.size(), test.boxes);
        EXPECT_EQ(IsWindow(window) ? GetDlgCtrlID(GetFocus()) : 0, test.focus);
        if (!IsWindow(window)) continue;
        EXPECT_EQ(SelectedPort(window), test.port);
        for (int number = 1; number <= 8; ++number)
            EXPECT_EQ(SendMessageA(selector(number), BM_GETCHECK, 0, 0) == BST_CHECKED, number == test.port);
        // Enter's button shows it: the focused push button, else Autostart Off.
        const HWND defaultButton = control(test.focus == kCloseButtonId ? kCloseButtonId : kStartButtonId);
        EXPECT_EQ(GetWindowLongA(defaultButton, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        DestroyWindow(window);
    }
}

TEST_F(Win32Window, InputQueuedDuringALongRunStartsNoSecondAttemptAndTheBusyCursorLastsToTheEnd) {
    ModuleDouble module;
    module.settings().neverSwitchOff = true;  // the longest run there is
    CursorWatch watch(module);
    sim.attach("COM3", &watch);
    show();
    SendMessageA(selector(3), BM_CLICK, 0, 0);
    const HWND start = control(kStartButtonId);
    watch.duringRun = [start] {
        for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP}) PostMessageA(start, message, 0, MAKELPARAM(5, 5));
        for (UINT message : {WM_KEYDOWN, WM_KEYUP}) PostMessageA(start, message, VK_SPACE, 1);
    };
    EXPECT_EQ(answeringAll([start] { SendMessageA(start, BM_CLICK, 0, 0); }),
              std::vector<std::string>{"Cannot close Module connection"});
    EXPECT_EQ(std::count(watch.cursors.begin(), watch.cursors.end(), LoadCursorA(nullptr, IDC_WAIT)),
              static_cast<std::ptrdiff_t>(watch.cursors.size()));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW)) << "no busy cursor over the box or after it";
}

TEST_F(Win32Window, CloseEndsTheApplication) {
    SendMessageA(control(kCloseButtonId), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
}

}  // namespace
}  // namespace ebd::test
