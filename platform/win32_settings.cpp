// The settings store on Windows: keys directly below HKEY_CURRENT_CONFIG, made
// and read with the registry functions themselves.
#include "platform/win32_settings.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace ebd::platform {

namespace {

DWORD RegistryTypeOf(ValueType type) {
    switch (type) {
        case ValueType::Binary:
            return REG_BINARY;
        case ValueType::Dword:
            return REG_DWORD;
        case ValueType::String:
            return REG_SZ;
        case ValueType::Other:
            break;
    }
    return REG_NONE;
}

ValueType ValueTypeOf(DWORD type) {
    switch (type) {
        case REG_BINARY:
            return ValueType::Binary;
        case REG_DWORD:
            return ValueType::Dword;
        case REG_SZ:
        case REG_EXPAND_SZ:
            return ValueType::String;
        default:
            return ValueType::Other;
    }
}

class RegistryKey final : public SettingsKey {
public:
    explicit RegistryKey(HKEY key) : key_(key) {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() override { RegCloseKey(key_); }

    bool setValue(const char* name, ValueType type, const uint8_t* data, uint32_t size) override {
        if (name == nullptr || type == ValueType::Other || (data == nullptr && size != 0)) return false;
        const LONG result = RegSetValueExA(key_, name, 0, RegistryTypeOf(type), data, size);
        // The reason stays for the caller, as the registry functions do not set it.
        SetLastError(static_cast<DWORD>(result));
        return result == ERROR_SUCCESS;
    }

    bool deleteValue(const char* name) override {
        if (name == nullptr) return false;
        const LONG result = RegDeleteValueA(key_, name);
        SetLastError(static_cast<DWORD>(result));
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }

    QueryResult queryValue(const char* name, ValueType* type, uint8_t* buffer, uint32_t* size) override {
        if (name == nullptr || type == nullptr || size == nullptr || (buffer == nullptr && *size != 0))
            return QueryResult::Failed;
        // The registry leaves the buffer undefined when the value does not
        // fit; a scratch copy keeps the caller's bytes as they were.
        std::vector<uint8_t> scratch(*size + 1);
        DWORD registryType = REG_NONE;
        DWORD bytes = *size;
        const LONG result = RegQueryValueExA(key_, name, nullptr, &registryType, scratch.data(), &bytes);
        if (result == ERROR_FILE_NOT_FOUND) return QueryResult::Missing;
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return QueryResult::Failed;
        *type = ValueTypeOf(registryType);
        const bool fits = result == ERROR_SUCCESS && bytes <= *size;
        *size = bytes;
        if (!fits) return QueryResult::MoreData;
        if (bytes != 0) std::memcpy(buffer, scratch.data(), bytes);
        return QueryResult::Done;
    }

private:
    HKEY key_;
};

class RegistryStore final : public SettingsStore {
public:
    std::unique_ptr<SettingsKey> createKey(const char* name, const char* className) override {
        if (name == nullptr || *name == '\0') return nullptr;
        HKEY key = nullptr;
        DWORD disposition = 0;
        // The class string is only stored when the key is made; an existing
        // key keeps its own.
        const LONG result = RegCreateKeyExA(
            HKEY_CURRENT_CONFIG, name, 0, const_cast<char*>(className != nullptr ? className : ""),
            REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE | KEY_CREATE_SUB_KEY, nullptr, &key, &disposition);
        if (result != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(result));
            return nullptr;
        }
        return std::make_unique<RegistryKey>(key);
    }

    std::unique_ptr<SettingsKey> openKey(const char* name) override {
        if (name == nullptr) return nullptr;
        HKEY key = nullptr;
        const LONG result = RegOpenKeyExA(HKEY_CURRENT_CONFIG, name, 0, KEY_READ, &key);
        if (result != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(result));
            return nullptr;
        }
        return std::make_unique<RegistryKey>(key);
    }
};

}  // namespace

SettingsStore& registrySettingsStore() {
    static RegistryStore store;
    return store;
}

}  // namespace ebd::platform
