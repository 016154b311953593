// Library settings: the serial port and baud rate kept in the machine-wide
// settings store of the platform, under the key QMB_Library (the registry's
// current hardware profile on Windows, a settings file on Linux).
#include <cstdint>
#include <memory>

#include "lib/ebd.h"
#include "platform/platform.h"

namespace ebd {

namespace {

constexpr const char* kKey = "QMB_Library";
constexpr const char* kKeyClass = "QMB_Library";
constexpr const char* kComPort = "ComPort";
constexpr const char* kBaudrate = "Baudrate";
constexpr uint8_t kDefaultPort = 1;
constexpr uint32_t kDefaultBaudRate = 115200;

int32_t Save(uint8_t port, uint32_t baudRate) {
    const std::unique_ptr<platform::SettingsKey> key =
        platform::current().settings().createKey(kKey, kKeyClass);
    if (!key) return 0;
    const uint8_t baud[4] = {static_cast<uint8_t>(baudRate), static_cast<uint8_t>(baudRate >> 8),
                             static_cast<uint8_t>(baudRate >> 16), static_cast<uint8_t>(baudRate >> 24)};
    const bool baudWritten = key->setValue(kBaudrate, platform::ValueType::Dword, baud, sizeof baud);
    const bool portWritten = key->setValue(kComPort, platform::ValueType::Binary, &port, 1);
    // A value the store refused is not saved: say so rather than report a
    // success the next load would contradict.
    return baudWritten && portWritten ? 1 : 0;
}

int32_t Load(uint8_t* port) {
    const std::unique_ptr<platform::SettingsKey> key = platform::current().settings().openKey(kKey);
    if (!key) return 0;
    // The port is read into its one byte: a longer value does not fit and
    // leaves it as it was; a value that fits is taken whatever its type, but
    // only a binary one counts.
    platform::ValueType type = platform::ValueType::Other;
    uint32_t size = 1;
    const platform::QueryResult result = key->queryValue(kComPort, &type, port, &size);
    // Only the port is loaded: the baud rate stays the default that the
    // caller was handed, whatever was saved, and callers rely on that.
    return result == platform::QueryResult::Done && type == platform::ValueType::Binary ? 1 : 0;
}

}  // namespace

}  // namespace ebd

extern "C" int32_t SaveLibrarySettings(uint8_t port, uint32_t baudRate) {
    try {
        return ebd::Save(port, baudRate);
    } catch (...) {
        return 0;
    }
}

extern "C" int32_t LoadLibrarySettings(uint8_t* port, uint32_t* baudRate) {
    if (port == nullptr || baudRate == nullptr) return 0;
    *port = ebd::kDefaultPort;
    *baudRate = ebd::kDefaultBaudRate;
    try {
        return ebd::Load(port);
    } catch (...) {
        return 0;
    }
}
