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
    // Clicks Start and answers every message box until the click returns.
    std::vector<MessageBoxSeen> clickStartAnsweringAll() {
        std::atomic<bool> done{false};
        auto answers = std::async(std::launch::async, [this, &done] {
            std::vector<MessageBoxSeen> seen;
            while (!done) {
                const MessageBoxSeen box = AnswerMessageBox(window, 100);
                if (box.found) seen.push_back(box);
            }
            return seen;
        });
        SendMessageA(control(kStartButtonId), BM_CLICK, 0, 0);
        pump();
        done = true;
        return answers.get();
    }
    // Shows the window in front, as the program does.
    void show() {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        SetActiveWindow(window);
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
    EXPECT_EQ(GetWindowLongA(control(kStartButtonId), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);

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

TEST_F(Win32Window, AModuleThatNeverFallsSilentKeepsTheBusyCursorUntilItsBox) {
    ModuleDouble module;
    module.settings().neverSwitchOff = true;
    CursorWatch watch(module);
    sim.attach("COM6", &watch);
    SendMessageA(selector(6), BM_CLICK, 0, 0);
    const HCURSOR before = GetCursor();
    const MessageBoxSeen box = clickStart();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, "Cannot close Module connection");
    ASSERT_FALSE(watch.cursors.empty());
    EXPECT_EQ(std::count(watch.cursors.begin(), watch.cursors.end(), LoadCursorA(nullptr, IDC_WAIT)),
              static_cast<std::ptrdiff_t>(watch.cursors.size()));
    EXPECT_EQ(GetCursor(), before);
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

TEST_F(Win32Window, EveryCaptionFitsItsControlInTheFormFont) {
    // What a control draws besides its caption: a radio button its round
    // glyph and the gap after it, a push button its frame, focus mark and a
    // pixel of air either side, a group box the indent of its title.
    const int radio = GetSystemMetrics(SM_CXMENUCHECK) + 4;
    const struct {
        int id;
        int beside;
    } controls[] = {{kGroupId, 2 * 8},
                    {101, radio},
                    {102, radio},
                    {103, radio},
                    {104, radio},
                    {105, radio},
                    {106, radio},
                    {107, radio},
                    {108, radio},
                    {kStartButtonId, 2 * (2 + 1 + 1)},
                    {kCloseButtonId, 2 * (2 + 1 + 1)}};
    for (const auto& entry : controls) {
        const HWND handle = control(entry.id);
        const std::string caption = Visible(WindowText(handle));
        const HDC dc = GetDC(handle);
        const HGDIOBJ previous =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(handle, WM_GETFONT, 0, 0)));
        char face[LF_FACESIZE] = {};
        GetTextFaceA(dc, LF_FACESIZE, face);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc, &metrics);
        SIZE size{};
        GetTextExtentPoint32A(dc, caption.data(), static_cast<int>(caption.size()), &size);
        SelectObject(dc, previous);
        ReleaseDC(handle, dc);
        RECT client{};
        GetClientRect(handle, &client);
        // Under Wine the face comes from Windows' own fonts, not a stand-in.
        if (UnderWine()) {
            EXPECT_STREQ(face, "MS Sans Serif") << caption;
        }
        EXPECT_LE(size.cx + entry.beside, client.right) << caption << " in " << face;
        EXPECT_LE(metrics.tmHeight, client.bottom) << caption << " in " << face;
    }
}

// A key as the keyboard sends it to the control with the focus.
struct Key {
    UINT message;  // WM_KEYDOWN (down and up), WM_CHAR, or WM_SYSCHAR (with Alt)
    WPARAM code;
};
constexpr Key kTab{WM_KEYDOWN, VK_TAB}, kEnter{WM_KEYDOWN, VK_RETURN}, kDown{WM_KEYDOWN, VK_DOWN};

TEST_F(Win32Window, TheKeyboardWorksTheWindowAsADialog) {
    const struct {
        const char* what;
        std::vector<Key> keys;
        int focus;  // the control with the focus after them; 0: the window is gone
        int port;
        std::vector<std::string> boxes;
    } cases[] = {
        {"at start the first port has the focus, none is chosen", {}, 101, 0, {}},
        {"Space chooses the focused port", {{WM_KEYDOWN, VK_SPACE}}, 101, 1, {}},
        {"Down moves to the next port and chooses it", {kDown, kDown}, 103, 3, {}},
        {"Up from the first port wraps to the last", {{WM_KEYDOWN, VK_UP}}, 108, 8, {}},
        {"Tab leaves the group for Autostart Off", {kTab}, kStartButtonId, 0, {}},
        {"Tab again reaches Close", {kTab, kTab}, kCloseButtonId, 0, {}},
        {"a port's digit chooses it", {{WM_CHAR, '5'}}, 105, 5, {}},
        {"Alt and a port's digit choose it", {{WM_SYSCHAR, '7'}}, 107, 7, {}},
        {"Enter presses Autostart Off; the focus is on it after the box",
         {kEnter},
         kStartButtonId,
         0,
         {"No COM Port selected"}},
        {"Alt+A presses Autostart Off", {{WM_SYSCHAR, 'a'}}, kStartButtonId, 0, {"No COM Port selected"}},
        {"Enter on Close presses Close", {kTab, kTab, kEnter}, 0, 0, {}},
        {"Esc closes", {{WM_KEYDOWN, VK_ESCAPE}}, 0, 0, {}},
        {"Alt+C closes", {{WM_SYSCHAR, 'c'}}, 0, 0, {}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        if (!IsWindow(window)) window = CreateDisableTool(GetModuleHandleA(nullptr));
        show();
        std::atomic<bool> done{false};
        auto answers = std::async(std::launch::async, [this, &done] {
            std::vector<std::string> seen;
            while (!done) {
                const MessageBoxSeen box = AnswerMessageBox(window, 100);
                if (box.found) seen.push_back(box.text);
            }
            return seen;
        });
        for (const Key& key : test.keys) {
            const HWND to = GetFocus() != nullptr ? GetFocus() : window;
            const LPARAM alt = key.message == WM_SYSCHAR ? LPARAM{1} << 29 : 0;
            PostMessageA(to, key.message, key.code, 1 | alt);
            if (key.message == WM_KEYDOWN) PostMessageA(to, WM_KEYUP, key.code, 1 | (LPARAM{3} << 30));
            pump();
        }
        done = true;
        EXPECT_EQ(answers.get(), test.boxes);
        if (test.focus == 0) {
            EXPECT_FALSE(IsWindow(window));
            continue;
        }
        ASSERT_TRUE(IsWindow(window));
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), test.focus);
        // The push button Enter presses shows it: the focused one, else Autostart Off.
        const int defaultButton = test.focus == kCloseButtonId ? kCloseButtonId : kStartButtonId;
        for (int id : {kStartButtonId, kCloseButtonId})
            EXPECT_EQ(GetWindowLongA(control(id), GWL_STYLE) & BS_TYPEMASK,
                      id == defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)
                << id;
        EXPECT_EQ(SelectedPort(window), test.port);
        for (int number = 1; number <= 8; ++number)
            EXPECT_EQ(SendMessageA(selector(number), BM_GETCHECK, 0, 0),
                      number == test.port ? BST_CHECKED : BST_UNCHECKED)
                << "COM " << number;
        DestroyWindow(window);
        pump();
    }
}

TEST_F(Win32Window, ClicksAndKeysGivenDuringARunStartNoSecondAttempt) {
    ModuleDouble module;
    CursorWatch watch(module);
    sim.attach("COM3", &watch);
    show();
    SendMessageA(selector(3), BM_CLICK, 0, 0);
    const HWND start = control(kStartButtonId);
    watch.duringRun = [start] {
        const LPARAM inside = MAKELPARAM(5, 5);
        PostMessageA(start, WM_LBUTTONDOWN, MK_LBUTTON, inside);
        PostMessageA(start, WM_LBUTTONUP, 0, inside);
        PostMessageA(start, WM_KEYDOWN, VK_SPACE, 1);
        PostMessageA(start, WM_KEYUP, VK_SPACE, 1 | (LPARAM{3} << 30));
        PostMessageA(start, WM_KEYDOWN, VK_RETURN, 1);
    };
    const std::vector<MessageBoxSeen> boxes = clickStartAnsweringAll();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes.front().text, "Autostart successfully switched off");
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
