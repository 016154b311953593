// The Win32 window in this process, against the module double under virtual
// time: its layout from the shared table, its radio group, its message boxes
// and the busy cursor while the workflow runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <future>
#include <string>
#include <vector>

#include "app/Disabletoolform_win32.h"
#include "app/window_geometry.h"
#include "message_box_probe.h"
#include "platform/sim_platform.h"
#include "sim/module_double.h"

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

private:
    ModuleDouble& module_;
};

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
        EXPECT_EQ(WindowText(selector(number)), "COM " + std::to_string(number));
        const LONG style = GetWindowLongA(selector(number), GWL_STYLE);
        EXPECT_EQ(style & BS_TYPEMASK, BS_AUTORADIOBUTTON) << entry.name;
        EXPECT_EQ((style & WS_GROUP) != 0, number == 1) << entry.name << ": one group of eight";
        EXPECT_NE(style & WS_TABSTOP, 0) << entry.name;
        EXPECT_EQ(SendMessageA(selector(number), BM_GETCHECK, 0, 0), BST_UNCHECKED) << entry.name;
    }
    expectPlace(placeOf(kStartButtonId), 10, 144, layout::kStartButton.place, "StartButton");
    expectPlace(placeOf(kCloseButtonId), 102, 144, layout::kCloseButton.place, "CloseButton");
    EXPECT_EQ(WindowText(control(kStartButtonId)), "Autostart Off");
    EXPECT_EQ(WindowText(control(kCloseButtonId)), "Close");
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

TEST_F(Win32Window, CloseEndsTheApplication) {
    SendMessageA(control(kCloseButtonId), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
}

}  // namespace
}  // namespace ebd::test
