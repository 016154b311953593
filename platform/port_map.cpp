// The port map, read from and written to the system's settings store.
#include "platform/port_map.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32_settings.h"
#else
#include "platform/settings_file.h"
#endif

namespace ebd::platform {

namespace {

#ifdef _WIN32
// Below the library's own key, which keeps its class string when the map is
// the first to need it.
constexpr const char* kLibraryKey = "QMB_Library";
constexpr const char* kMapKey = "QMB_Library\\Ports";

SettingsStore& Store() {
    return registrySettingsStore();
}

std::string WhyItFailed() {
    const DWORD error = GetLastError();
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        error, 0, text, sizeof text, nullptr);
    std::string why(text, length);
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == '.')) why.pop_back();
    if (why.empty()) why = "error " + std::to_string(error);
    if (error == ERROR_ACCESS_DENIED) why += "; run it as administrator";
    return why;
}

bool IsAbsoluteDevice(const std::string& device) {
    return device.size() > 4 && (device.rfind("\\\\.\\", 0) == 0 || device.rfind("\\\\?\\", 0) == 0);
}

constexpr const char* kAbsoluteDevice = "not a device path such as \\\\.\\COM41";
#else
constexpr const char* kMapKey = "Ports";

SettingsStore& Store() {
    return fileSettingsStore();
}

std::string WhyItFailed() {
    const int error = errno;
    std::string why = error != 0 ? std::strerror(error) : "the file cannot be read or written";
    if (error == EACCES || error == EPERM || error == EROFS) why += "; run it as root";
    return why;
}

bool IsAbsoluteDevice(const std::string& device) {
    return device.size() > 1 && device[0] == '/';
}

constexpr const char* kAbsoluteDevice = "not an absolute device path";
#endif

std::string EntryName(unsigned number) {
    return "COM" + std::to_string(number);
}

bool Mappable(unsigned number) {
    return number >= kFirstMappedPort && number <= kLastMappedPort;
}

// The map's device of COM<number>, or why the entry is passed over. Nothing
// at all when the map has no entry for it.
void ReadEntry(unsigned number, PortMapping& mapping) {
    const std::unique_ptr<SettingsKey> key = Store().openKey(kMapKey);
    if (!key) return;
    // Room for the longest device, its terminating NUL and one byte more, so
    // that an over-long value shows as one.
    std::vector<uint8_t> buffer(kMaxMappedDevice + 2);
    auto size = static_cast<uint32_t>(buffer.size());
    ValueType type = ValueType::Other;
    switch (key->queryValue(EntryName(number).c_str(), &type, buffer.data(), &size)) {
        case QueryResult::Missing:
            return;
        case QueryResult::Failed:
            mapping.ignored = "the entry cannot be read as a string";
            return;
        case QueryResult::MoreData:
            mapping.ignored = "longer than " + std::to_string(kMaxMappedDevice) + " characters";
            return;
        case QueryResult::Done:
            break;
    }
    if (type != ValueType::String) {
        mapping.ignored = "not a string value";
        return;
    }
    // A string may come with or without its terminating NUL.
    std::string device(reinterpret_cast<const char*>(buffer.data()), size);
    device = device.substr(0, device.find('\0'));
    if (const std::string why = badMappedDevice(device); !why.empty()) {
        mapping.ignored = why;
        return;
    }
    mapping.device = device;
    mapping.source = PortSource::Map;
}

std::string Failure(const std::string& what) {
    return what + " in " + portMapLocation() + ": " + WhyItFailed();
}

}  // namespace

PortMapping portMappingFor(unsigned number) {
    PortMapping mapping;
    if (number == 0 || number > 255) return mapping;
    const std::string variable = "EBD_COM" + std::to_string(number);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && path[0] != '\0') {
        mapping.device = path;
        mapping.source = PortSource::Environment;
        return mapping;
    }
    if (Mappable(number)) mapping = portMapEntry(number);
    if (mapping.source == PortSource::Map) return mapping;
    mapping.device = defaultDevicePath(number);
    mapping.source = PortSource::Default;
    return mapping;
}

PortMapping portMapEntry(unsigned number) {
    PortMapping mapping;
    if (Mappable(number)) ReadEntry(number, mapping);
    return mapping;
}

const char* portSourceName(PortSource source) {
    switch (source) {
        case PortSource::Environment:
            return "environment";
        case PortSource::Map:
            return "map";
        case PortSource::Default:
            break;
    }
    return "default";
}

std::string portMapLocation() {
#ifdef _WIN32
    return std::string("HKEY_CURRENT_CONFIG\\") + kMapKey;
#else
    return settingsFilePath() + " [" + kMapKey + "]";
#endif
}

std::string badMappedDevice(const std::string& device) {
    if (device.empty()) return "empty";
    if (device.size() > kMaxMappedDevice)
        return "longer than " + std::to_string(kMaxMappedDevice) + " characters";
    for (const char c : device) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '"') return "holds a control character or a quote";
    }
    if (!IsAbsoluteDevice(device)) return kAbsoluteDevice;
    return {};
}

std::string mapPort(unsigned number, const std::string& device) {
    if (!Mappable(number)) return EntryName(number) + " is beyond COM" + std::to_string(kLastMappedPort);
    if (const std::string why = badMappedDevice(device); !why.empty())
        return "'" + device + "' cannot be mapped: " + why;
#ifdef _WIN32
    if (!Store().createKey(kLibraryKey, kLibraryKey)) return Failure("cannot create the key");
#endif
    errno = 0;
    const std::unique_ptr<SettingsKey> key = Store().createKey(kMapKey, "");
    if (!key) return Failure("cannot create the key");
    const auto* data = reinterpret_cast<const uint8_t*>(device.c_str());
    if (!key->setValue(EntryName(number).c_str(), ValueType::String, data,
                       static_cast<uint32_t>(device.size() + 1)))
        return Failure("cannot write " + EntryName(number));
    return {};
}

std::string unmapPort(unsigned number) {
    if (!Mappable(number)) return EntryName(number) + " is beyond COM" + std::to_string(kLastMappedPort);
    // Without the key there is no entry to remove.
    if (!Store().openKey(kMapKey)) return {};
    errno = 0;
    const std::unique_ptr<SettingsKey> key = Store().createKey(kMapKey, "");
    if (!key) return Failure("cannot open the key");
    if (!key->deleteValue(EntryName(number).c_str())) return Failure("cannot remove " + EntryName(number));
    return {};
}

}  // namespace ebd::platform
