// The port map in the registry of the test prefix: the key Ports below
// HKEY_CURRENT_CONFIG\QMB_Library with REG_SZ values, read when a port's
// device is looked up, written by the tools, shown in the window's tooltips.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it builds on
// clang-format on

#include <string>

#include "app/Disabletoolform_win32.h"
#include "message_box_probe.h"
#include "platform/port_map.h"

namespace {

using namespace ebd::platform;

constexpr const char* kMapKey = "QMB_Library\\Ports";

class RegistryPortMap : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        RegDeleteKeyA(HKEY_CURRENT_CONFIG, kMapKey);
        RegDeleteKeyA(HKEY_CURRENT_CONFIG, "QMB_Library");
        _putenv_s("EBD_COM2", "");
    }
    static void put(const char* name, DWORD type, const std::string& data) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_CONFIG, kMapKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
        RegCloseKey(key);
    }
};

TEST_F(RegistryPortMap, TheEnvironmentBeatsTheMapWhichBeatsTheDefaultAndBadEntriesArePassedOver) {
    put("COM1", REG_SZ, std::string("\\\\.\\COM41") + '\0');
    put("COM2", REG_SZ, std::string("\\\\.\\COM42") + '\0');
    put("COM3", REG_SZ, std::string(1, '\0'));
    put("COM4", REG_DWORD, std::string(4, '\x29'));
    put("COM5", REG_SZ, "COM41");  // a name, and without its terminating NUL
    put("COM6", REG_SZ, "\\\\.\\" + std::string(kMaxMappedDevice, 'X'));
    _putenv_s("EBD_COM2", "\\\\.\\COM45");
    const struct {
        unsigned port;
        const char* device;
        PortSource source;
        const char* ignored;
    } cases[] = {
        {1, "\\\\.\\COM41", PortSource::Map, ""},
        {2, "\\\\.\\COM45", PortSource::Environment, ""},
        {3, "\\\\.\\COM3", PortSource::Default, "empty"},
        {4, "\\\\.\\COM4", PortSource::Default, "not a string value"},
        {5, "\\\\.\\COM5", PortSource::Default, "not a device path such as \\\\.\\COM41"},
        {6, "\\\\.\\COM6", PortSource::Default, "longer than 255 characters"},
    };
    for (const auto& c : cases) {
        const PortMapping mapping = portMappingFor(c.port);
        EXPECT_EQ(mapping.device, c.device) << "COM" << c.port;
        EXPECT_EQ(mapping.source, c.source) << "COM" << c.port;
        EXPECT_EQ(mapping.ignored, c.ignored) << "COM" << c.port;
    }
}

// The library's key, made on the way, keeps its class; the entry is read back
// as a string by the window's tooltips.
// The thread's tooltip window, for EnumThreadWindows (a system callback, so a
// function of the system's calling convention rather than a lambda).
BOOL CALLBACK FindTooltips(HWND candidate, LPARAM found) {
    if (ebd::test::ClassOf(candidate) != TOOLTIPS_CLASSA) return TRUE;
    *reinterpret_cast<HWND*>(found) = candidate;
    return FALSE;
}

TEST_F(RegistryPortMap, WrittenEntriesAreStringsBelowTheLibraryKeyAndTheTooltipsShowThem) {
    ASSERT_EQ(mapPort(1, "\\\\.\\COM41"), "");
    HKEY key = nullptr;
    char text[64] = {};
    DWORD size = sizeof text;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_CONFIG, "QMB_Library", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegQueryInfoKeyA(key, text, &size, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    EXPECT_STREQ(text, "QMB_Library");
    RegCloseKey(key);

    HWND window = ebd::app::win32::CreateDisableTool(GetModuleHandleA(nullptr));
    ASSERT_NE(window, nullptr);
    HWND tips = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindTooltips, reinterpret_cast<LPARAM>(&tips));
    ASSERT_EQ(GetWindow(tips, GW_OWNER), window);
    for (const auto& [port, expected] :
         {std::pair{1, "COM1: \\\\.\\COM41 (port map)"}, {8, "COM8: \\\\.\\COM8 (default)"}}) {
        char tip[256] = {};
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = window;
        tool.uId =
            reinterpret_cast<UINT_PTR>(GetDlgItem(window, ebd::app::win32::kFirstPortSelectorId + port - 1));
        tool.lpszText = tip;
        SendMessageA(tips, TTM_GETTEXTA, sizeof tip, reinterpret_cast<LPARAM>(&tool));
        EXPECT_STREQ(tip, expected);
    }
    DestroyWindow(window);
}

// A program without a console answers /? with its usage in a box.
TEST(WindowProgramHelp, SlashQuestionMarkShowsTheUsageInABoxAndEndsTheProgram) {
    char path[MAX_PATH] = {};
    std::string program(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    program = program.substr(0, program.find_last_of("\\/") + 1) + "disable-autostart.exe";
    std::string commandLine = '"' + program + "\" /?";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    const ebd::test::MessageBoxSeen box = ebd::test::AnswerMessageBox(nullptr, 20000);
    EXPECT_EQ(box.text.rfind("Usage: disable-autostart [/?]", 0), 0u) << box.text;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    TerminateProcess(process.hProcess, 99);  // none left behind when it did not end
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace
