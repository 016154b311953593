// The library settings in the registry: HKEY_CURRENT_CONFIG\QMB_Library with
// its class string, "ComPort" as one binary byte and "Baudrate" as a DWORD;
// saved and loaded through the library, checked with the registry functions.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "lib/ebd.h"
#include "platform/platform.h"

namespace {

constexpr const char* kKey = "QMB_Library";

class RegistrySettings : public ::testing::Test {
protected:
    void SetUp() override {
        ebd::platform::install(nullptr);
        forget();
    }
    void TearDown() override { forget(); }
    // A key with subkeys cannot be deleted: the port map's goes first.
    static void forget() {
        RegDeleteKeyA(HKEY_CURRENT_CONFIG, "QMB_Library\\Ports");
        RegDeleteKeyA(HKEY_CURRENT_CONFIG, kKey);
    }

    // Writes a value straight into the key, making the key when needed.
    static void put(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_CONFIG, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
};

TEST_F(RegistrySettings, SavedValuesHaveTheirTypesAndLoadGivesThePortOnly) {
    ASSERT_EQ(SaveLibrarySettings(3, 57600), 1);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_CONFIG, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    char className[64] = {};
    DWORD classLength = sizeof className;
    ASSERT_EQ(RegQueryInfoKeyA(key, className, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(className, "QMB_Library");
    DWORD type = 0;
    BYTE bytes[8] = {};
    DWORD size = sizeof bytes;
    ASSERT_EQ(RegQueryValueExA(key, "ComPort", nullptr, &type, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(bytes[0], 3);
    DWORD baud = 0;
    size = sizeof baud;
    ASSERT_EQ(RegQueryValueExA(key, "Baudrate", nullptr, &type, reinterpret_cast<BYTE*>(&baud), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(baud, 57600u);
    RegCloseKey(key);

    uint8_t port = 0;
    uint32_t baudRate = 0;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(baudRate, 115200u);  // the baud rate is never loaded

    // Saving again replaces both values in the same key.
    ASSERT_EQ(SaveLibrarySettings(255, 0xFFFFFFFF), 1);
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 255);
}

TEST_F(RegistrySettings, WithoutTheKeyLoadHandsOutTheDefaults) {
    uint8_t port = 9;
    uint32_t baudRate = 9;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(baudRate, 115200u);
    // The key alone, without "ComPort".
    const DWORD baud = 9600;
    put("Baudrate", REG_DWORD, &baud, sizeof baud);
    port = 9;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(LoadLibrarySettings(nullptr, &baudRate), 0);
    EXPECT_EQ(LoadLibrarySettings(&port, nullptr), 0);
}

TEST_F(RegistrySettings, AValueOfTheWrongTypeIsNotAPort) {
    uint8_t port = 0;
    uint32_t baudRate = 0;
    // A DWORD does not fit the port's byte: nothing is taken.
    const DWORD three = 3;
    put("ComPort", REG_DWORD, &three, sizeof three);
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(baudRate, 115200u);
    // An empty string is one byte: it is read, but it is not a port.
    put("ComPort", REG_SZ, "", 1);
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 0);
    // Two binary bytes do not fit either.
    const BYTE two[2] = {3, 4};
    put("ComPort", REG_BINARY, two, sizeof two);
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);
    // Saving puts the right type back.
    ASSERT_EQ(SaveLibrarySettings(6, 19200), 1);
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 6);
}

}  // namespace
