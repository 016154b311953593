// disable-autostart.exe clicked through from another process, as a user
// would: choose a port, press "Autostart Off", read the message box, press OK,
// press "Close". The module is module-sim on COM<EBD_TEST_PORT>, served by the
// test's driver script.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/Disabletoolform_win32.h"
#include "message_box_probe.h"
#include "wine_probe.h"

namespace ebd::test {
namespace {

using namespace ebd::app::win32;

constexpr DWORD kStartMs = 20000;

// The program under test lies beside this one.
std::string ProgramBesideThisOne(const char* name) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    directory.resize(directory.find_last_of("\\/") + 1);
    return directory + name;
}
constexpr DWORD kWorkflowMs = 60000;

struct Search {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && ClassOf(window) == "TDisableTool" && IsWindowVisible(window)) {
        search->window = window;
        return FALSE;
    }
    return TRUE;
}

class WindowProgram : public ::testing::Test {
protected:
    void SetUp() override {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        const std::string program = ProgramBesideThisOne("disable-autostart.exe");
        std::string commandLine = "\"" + program + "\"";
        ASSERT_TRUE(CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &process_))
            << program << ": error " << GetLastError();
        Search search{process_.dwProcessId, nullptr};
        const ULONGLONG end = GetTickCount64() + kStartMs;
        while (search.window == nullptr && GetTickCount64() < end) {
            EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&search));
            if (search.window == nullptr) Sleep(50);
        }
        window_ = search.window;
        ASSERT_NE(window_, nullptr) << "the window did not appear";
        EXPECT_EQ(WindowText(window_), "Disable Autostart");
    }
    void TearDown() override {
        if (process_.hProcess == nullptr) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    void click(int id) { PostMessageA(GetDlgItem(window_, id), BM_CLICK, 0, 0); }
    // Presses Close and waits for the program's end; its exit status.
    DWORD close() {
        click(kCloseButtonId);
        EXPECT_EQ(WaitForSingleObject(process_.hProcess, 10000), WAIT_OBJECT_0)
            << "Close did not end the program";
        DWORD status = 99;
        GetExitCodeProcess(process_.hProcess, &status);
        return status;
    }

    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

TEST_F(WindowProgram, StartWithoutAPortShowsNoComPortSelected) {
    click(kStartButtonId);
    const MessageBoxSeen box = AnswerMessageBox(window_, kWorkflowMs);
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, "No COM Port selected");
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(close(), 0u);
}

TEST_F(WindowProgram, AModuleOnTheChosenPortHasItsAutostartSwitchedOff) {
    const int port = TestPort();
    ASSERT_GE(port, 1);
    ASSERT_LE(port, 8) << "the window offers COM 1 to COM 8";
    click(kFirstPortSelectorId + port - 1);
    click(kStartButtonId);
    const MessageBoxSeen box = AnswerMessageBox(window_, kWorkflowMs);
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, "Autostart successfully switched off");
    EXPECT_EQ(box.caption, "Disable Autostart");
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    // module-sim is switched off now: a second attempt finds nobody.
    click(kStartButtonId);
    const MessageBoxSeen again = AnswerMessageBox(window_, kWorkflowMs);
    ASSERT_TRUE(again.found);
    EXPECT_EQ(again.text, "Cannot connect to Module");
    EXPECT_EQ(close(), 0u);
}

}  // namespace
}  // namespace ebd::test
