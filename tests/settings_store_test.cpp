// Saving and loading the library settings against the platform's settings
// store, the same on both systems: the key with its class string, the types
// and bytes of the two values, and a store that refuses.
#include <gtest/gtest.h>

#include <vector>

#include "lib/ebd.h"
#include "platform/sim_platform.h"

namespace ebd::test {
namespace {

using platform::SimSettingsStore;
using platform::ValueType;

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { platform::install(&sim); }
    void TearDown() override { platform::install(nullptr); }
    SimSettingsStore& store() { return sim.settingsStore; }
    void put(const char* name, ValueType type, std::vector<uint8_t> data) {
        store().keys["QMB_Library"].values[name] = {type, std::move(data)};
    }

    platform::SimPlatform sim;
    uint8_t port = 0;
    uint32_t baudRate = 0;
};

TEST_F(SettingsStore, SaveMakesTheKeyWithItsClassAndTypedValues) {
    ASSERT_EQ(SaveLibrarySettings(3, 57600), 1);
    ASSERT_EQ(store().keys.size(), 1u);
    const SimSettingsStore::StoredKey& key = store().keys.at("QMB_Library");
    EXPECT_EQ(key.className, "QMB_Library");
    ASSERT_EQ(key.values.size(), 2u);
    EXPECT_EQ(key.values.at("ComPort").type, ValueType::Binary);
    EXPECT_EQ(key.values.at("ComPort").data, (std::vector<uint8_t>{3}));
    EXPECT_EQ(key.values.at("Baudrate").type, ValueType::Dword);
    EXPECT_EQ(key.values.at("Baudrate").data,
              (std::vector<uint8_t>{0x00, 0xE1, 0x00, 0x00}));  // little-endian
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(baudRate, 115200u);
    // A key that is there keeps its class.
    store().keys.at("QMB_Library").className = "Other";
    ASSERT_EQ(SaveLibrarySettings(4, 9600), 1);
    EXPECT_EQ(store().keys.at("QMB_Library").className, "Other");
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 4);
}

TEST_F(SettingsStore, OnlyABinaryPortOfOneByteLoads) {
    put("ComPort", ValueType::Dword, {3, 0, 0, 0});
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1) << "four bytes do not fit: the default stands";
    put("ComPort", ValueType::String, {0});
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 0) << "one byte of another type is read, but is no port";
    put("ComPort", ValueType::Binary, {7, 8});
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);
    put("ComPort", ValueType::Binary, {});
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1) << "an empty binary value is read as such";
    EXPECT_EQ(port, 1);
    put("ComPort", ValueType::Binary, {9});
    put("Baudrate", ValueType::Dword, {0x80, 0x25, 0, 0});
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 9);
    EXPECT_EQ(baudRate, 115200u);
}

TEST_F(SettingsStore, AStoreThatRefusesGivesZero) {
    store().refuseKeys = true;
    EXPECT_EQ(SaveLibrarySettings(3, 57600), 0);
    EXPECT_TRUE(store().keys.empty());
    port = 9;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(baudRate, 115200u);
    // The key can be made but its values not written: no success is claimed.
    store().refuseKeys = false;
    store().refuseWrites = true;
    EXPECT_EQ(SaveLibrarySettings(3, 57600), 0);
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
}

}  // namespace
}  // namespace ebd::test
