// The port map in the registry of the test prefix: the key Ports below
// HKEY_CURRENT_CONFIG\QMB_Library with REG_SZ values, read when a port's
// device is looked up, written by the tools, shown in the window's tooltips.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it builds on
// clang-format on

#include <cstdlib>
#include <optional>
#include <string>

#include "app/Disabletoolform_win32.h"
#include "app/port_names.h"
#include "message_box_probe.h"
#include "platform/platform.h"
#include "platform/port_map.h"

namespace {

using namespace ebd::platform;

constexpr const char* kLibraryKey = "QMB_Library";
constexpr const char* kMapKey = "QMB_Library\\Ports";

class RegistryPortMap : public ::testing::Test {
protected:
    void SetUp() override { forget(); }
    void TearDown() override {
        forget();
        _putenv_s("EBD_COM2", "");
    }
    static void forget() {
        RegDeleteKeyA(HKEY_CURRENT_CONFIG, kMapKey);
        RegDeleteKeyA(HKEY_CURRENT_CONFIG, kLibraryKey);
    }
    static void put(const char* name, DWORD type, const std::string& data) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_CONFIG, kMapKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
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
    put("COM7", REG_BINARY, "\\\\.\\COM43");
    put("COM32", REG_SZ, "\\\\.\\COM44");  // without its NUL, and good
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
        {7, "\\\\.\\COM7", PortSource::Default, "not a string value"},
        {8, "\\\\.\\COM8", PortSource::Default, ""},
        {32, "\\\\.\\COM44", PortSource::Map, ""},
    };
    for (const auto& c : cases) {
        const PortMapping mapping = portMappingFor(c.port);
        EXPECT_EQ(mapping.device, c.device) << "COM" << c.port;
        EXPECT_EQ(mapping.source, c.source) << "COM" << c.port;
        EXPECT_EQ(mapping.ignored, c.ignored) << "COM" << c.port;
        EXPECT_EQ(devicePathFor(("COM" + std::to_string(c.port)).c_str()), c.device) << "COM" << c.port;
    }
}

TEST_F(RegistryPortMap, EntriesAreStringsBelowTheLibraryKeyWhichKeepsItsClass) {
    ASSERT_EQ(mapPort(3, "\\\\.\\COM41"), "");
    ASSERT_EQ(mapPort(4, "\\\\.\\COM42"), "");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_CONFIG, kLibraryKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    char className[64] = {};
    DWORD classLength = sizeof className;
    EXPECT_EQ(RegQueryInfoKeyA(key, className, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(className, "QMB_Library");
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_CONFIG, kMapKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    char text[64] = {};
    DWORD type = 0;
    DWORD size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key, "COM3", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(text, "\\\\.\\COM41");
    RegCloseKey(key);

    EXPECT_EQ(unmapPort(3), "");
    EXPECT_EQ(unmapPort(3), "");
    EXPECT_EQ(portMappingFor(3).source, PortSource::Default);
    EXPECT_EQ(portMappingFor(4).source, PortSource::Map);
    EXPECT_NE(mapPort(4, "C:\\port").find("not a device path"), std::string::npos);
    EXPECT_NE(mapPort(33, "\\\\.\\COM41").find("beyond COM32"), std::string::npos);
}

// A COM name stands for its device in the device namespace, which reaches
// beyond COM9.
TEST(ComNames, NamesBecomeDevicesInTheDeviceNamespace) {
    EXPECT_EQ(ebd::app::DeviceForComName("COM41"), std::optional<std::string>("\\\\.\\COM41"));
    EXPECT_EQ(ebd::app::DeviceForComName("com255"), std::optional<std::string>("\\\\.\\COM255"));
    for (const char* text : {"COM0", "COM256", "COM041", "COM", "\\\\.\\COM41", "LPT1"})
        EXPECT_FALSE(ebd::app::DeviceForComName(text)) << text;
}

TEST_F(RegistryPortMap, EachPortButtonOfTheWindowHasItsDeviceAsTooltip) {
    put("COM1", REG_SZ, std::string("\\\\.\\COM41") + '\0');
    HWND window = ebd::app::win32::CreateDisableTool(GetModuleHandleA(nullptr));
    ASSERT_NE(window, nullptr);
    // The tooltip window is a popup the main window owns.
    HWND tips = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND candidate, LPARAM found) -> BOOL {
            char name[64] = {};
            GetClassNameA(candidate, name, sizeof name);
            if (lstrcmpiA(name, TOOLTIPS_CLASSA) != 0) return TRUE;
            *reinterpret_cast<HWND*>(found) = candidate;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&tips));
    ASSERT_NE(tips, nullptr);
    EXPECT_EQ(GetWindow(tips, GW_OWNER), window);
    const struct {
        int port;
        const char* text;
    } cases[] = {{1, "COM1: \\\\.\\COM41 (port map)"}, {8, "COM8: \\\\.\\COM8 (default)"}};
    for (const auto& c : cases) {
        char text[256] = {};
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(
            GetDlgItem(window, ebd::app::win32::kFirstPortSelectorId + c.port - 1));
        tool.lpszText = text;
        SendMessageA(tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
        EXPECT_STREQ(text, c.text);
    }
    DestroyWindow(window);
}

// A program without a console answers /? with its usage in a box.
TEST(WindowProgramHelp, SlashQuestionMarkShowsTheUsageInABoxAndEndsTheProgram) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string program(path, length);
    program = program.substr(0, program.find_last_of("\\/") + 1) + "disable-autostart.exe";
    std::string commandLine = "\"" + program + "\" /?";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << program;
    const ebd::test::MessageBoxSeen box = ebd::test::AnswerMessageBox(nullptr, 20000);
    EXPECT_TRUE(box.found);
    EXPECT_EQ(box.text.rfind("Usage: disable-autostart [/?]", 0), 0u) << box.text;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD status = 99;
    GetExitCodeProcess(process.hProcess, &status);
    EXPECT_EQ(status, 0u);
    if (status == STILL_ACTIVE) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace
