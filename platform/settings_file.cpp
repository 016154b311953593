// The settings store on Linux: a machine-wide settings file that keeps keys,
// their class strings and typed values in the style of a registry export:
//
//   [QMB_Library]
//   @class="QMB_Library"
//   "Baudrate"=dword:0001c200
//   "ComPort"=hex:01
//   [Ports]
//   "COM3"="/dev/serial/by-id/usb-..."
//
// Value types: dword (eight hex digits, a 32-bit number), hex (binary bytes,
// comma-separated) and quoted strings. Lines starting with '#' or ';' are
// comments. Keys and values nobody asks for are kept as they are when a value
// is written.
#include "platform/settings_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace ebd::platform {

namespace {

constexpr const char* kDefaultSettingsFile = "/etc/ebd/settings.conf";
constexpr const char* kSettingsFileVariable = "EBD_SETTINGS_FILE";
// A settings file is a few lines; anything far larger is not ours.
constexpr std::uintmax_t kMaxFileSize = 1 << 20;

struct Value {
    std::string name;
    std::string text;  // as it stands behind the '='
};

struct Key {
    std::string name;
    std::string className;
    std::vector<Value> values;
};

}  // namespace

std::string settingsFilePath() {
    const char* path = std::getenv(kSettingsFileVariable);
    return path != nullptr && *path != '\0' ? path : kDefaultSettingsFile;
}

namespace {

std::filesystem::path SettingsFile() {
    return std::filesystem::path(settingsFilePath());
}

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    const size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// A quoted text at the start of `text`: its contents and where it ends.
std::optional<std::string> Quoted(const std::string& text, size_t* end) {
    if (text.empty() || text[0] != '"') return std::nullopt;
    const size_t close = text.find('"', 1);
    if (close == std::string::npos) return std::nullopt;
    *end = close + 1;
    return text.substr(1, close - 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The type of a value and its data bytes as a registry query would give them;
// nullopt for a text the file format does not know.
std::optional<ValueType> Decode(const std::string& text, std::vector<uint8_t>* bytes) {
    bytes->clear();
    if (text.rfind("dword:", 0) == 0) {
        const std::string digits = text.substr(6);
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        uint32_t value = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) return std::nullopt;
            value = (value << 4) | static_cast<uint32_t>(d);
        }
        for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<uint8_t>(value >> (8 * i)));
        return ValueType::Dword;
    }
    if (text.rfind("hex:", 0) == 0) {
        std::stringstream list(text.substr(4));
        std::string item;
        while (std::getline(list, item, ',')) {
            item = Trim(item);
            if (item.empty() && list.eof() && bytes->empty()) break;  // "hex:" holds no bytes
            if (item.empty() || item.size() > 2) return std::nullopt;
            int value = 0;
            for (char c : item) {
                const int d = HexDigit(c);
                if (d < 0) return std::nullopt;
                value = value * 16 + d;
            }
            bytes->push_back(static_cast<uint8_t>(value));
        }
        return ValueType::Binary;
    }
    size_t end = 0;
    if (const auto string = Quoted(text, &end); string && end == text.size()) {
        bytes->assign(string->begin(), string->end());
        bytes->push_back(0);
        return ValueType::String;
    }
    return std::nullopt;
}

// The text a value is written as; nullopt for one the file cannot hold.
std::optional<std::string> Encode(ValueType type, const uint8_t* data, uint32_t size) {
    char part[16];
    switch (type) {
        case ValueType::Dword: {
            if (size != 4) return std::nullopt;
            uint32_t value = 0;
            for (int i = 3; i >= 0; --i) value = (value << 8) | data[i];
            std::snprintf(part, sizeof part, "dword:%08x", value);
            return part;
        }
        case ValueType::Binary: {
            std::string text = "hex:";
            for (uint32_t i = 0; i < size; ++i) {
                std::snprintf(part, sizeof part, i == 0 ? "%02x" : ",%02x", data[i]);
                text += part;
            }
            return text;
        }
        case ValueType::String: {
            // Up to the first NUL; a quote cannot be written.
            std::string text(reinterpret_cast<const char*>(data), size);
            text = text.substr(0, text.find('\0'));
            if (text.find_first_of("\"\n\r") != std::string::npos) return std::nullopt;
            return '"' + text + '"';
        }
        case ValueType::Other:
            break;
    }
    return std::nullopt;
}

// Leaves the reason of a failed file operation in errno, where callers that
// explain a failure to the user look for it.
std::nullopt_t Failed(const std::error_code& error) {
    errno = error.value();
    return std::nullopt;
}

// Reads the settings file. Returns nullopt when it cannot be read, errno
// saying why; a missing file is an empty list of keys.
std::optional<std::vector<Key>> ReadKeys(const std::filesystem::path& file) {
    std::vector<Key> keys;
    std::error_code error;
    if (!std::filesystem::exists(file, error)) return error ? Failed(error) : std::optional(keys);
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) return Failed(error);
    if (size > kMaxFileSize) return Failed(std::make_error_code(std::errc::file_too_large));
    std::ifstream in(file);
    if (!in) return std::nullopt;  // errno says why
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            keys.push_back({line.substr(1, line.size() - 2), {}, {}});
            continue;
        }
        if (keys.empty()) continue;  // a value outside any key belongs to none
        if (line.rfind("@class=", 0) == 0) {
            size_t end = 0;
            if (const auto name = Quoted(line.substr(7), &end)) keys.back().className = *name;
            continue;
        }
        size_t end = 0;
        const auto name = Quoted(line, &end);
        if (!name) continue;
        const std::string rest = Trim(line.substr(end));
        if (rest.empty() || rest[0] != '=') continue;
        keys.back().values.push_back({*name, Trim(rest.substr(1))});
    }
    if (in.bad()) return std::nullopt;
    return keys;
}

Key* FindKey(std::vector<Key>& keys, const std::string& name) {
    for (Key& key : keys)
        if (key.name == name) return &key;
    return nullptr;
}

// Writes the keys to a file beside the settings file and puts it in place in
// one step, so that a reader in another process sees the old file or the new
// one, never half of one. On failure errno says why.
bool WriteKeys(const std::filesystem::path& file, const std::vector<Key>& keys) {
    std::error_code error;
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), error);
        if (error) {
            errno = error.value();
            return false;
        }
    }
    const std::filesystem::path temporary =
        file.string() + ".tmp." + std::to_string(static_cast<long>(::getpid()));
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!out) return false;  // errno from the open
        out << "# Settings of the module-control library, for the whole machine.\n";
        out << "# Value types: dword:<8 hex digits>, hex:<bytes>, \"<text>\".\n";
        out << "# QMB_Library: \"ComPort\" (hex, 1 byte, default 01), \"Baudrate\" (dword, default "
               "0001c200).\n";
        out << "# Ports: \"COM<N>\"=\"<device path>\", the device COM<N> stands for.\n";
        for (const Key& key : keys) {
            out << '[' << key.name << "]\n";
            if (!key.className.empty()) out << "@class=\"" << key.className << "\"\n";
            for (const Value& value : key.values) out << '"' << value.name << "\"=" << value.text << '\n';
        }
        out.flush();
        if (!out) {
            const int why = errno;
            std::filesystem::remove(temporary, error);
            errno = why;
            return false;
        }
    }
    std::filesystem::rename(temporary, file, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        errno = error.value();
        return false;
    }
    return true;
}

// A key of the file. Reads see the file as it was when the key was opened;
// each write reads the file again, changes its one value and puts the file
// back, so that what other processes wrote meanwhile is kept.
class FileKey final : public SettingsKey {
public:
    FileKey(std::filesystem::path file, Key key) : file_(std::move(file)), key_(std::move(key)) {}

    bool setValue(const char* name, ValueType type, const uint8_t* data, uint32_t size) override {
        if (name == nullptr || (data == nullptr && size != 0)) return false;
        const std::optional<std::string> text = Encode(type, data, size);
        if (!text) return false;
        auto keys = ReadKeys(file_);
        if (!keys) return false;
        Key* key = FindKey(*keys, key_.name);
        if (key == nullptr) {
            keys->push_back(key_);
            key = &keys->back();
        }
        bool replaced = false;
        for (Value& value : key->values) {
            if (value.name == name) {
                value.text = *text;
                replaced = true;
            }
        }
        if (!replaced) key->values.push_back({name, *text});
        if (!WriteKeys(file_, *keys)) return false;
        key_ = *key;
        return true;
    }

    QueryResult queryValue(const char* name, ValueType* type, uint8_t* buffer, uint32_t* size) override {
        if (name == nullptr || type == nullptr || size == nullptr || (buffer == nullptr && *size != 0))
            return QueryResult::Failed;
        for (const Value& value : key_.values) {
            if (value.name != name) continue;
            std::vector<uint8_t> bytes;
            const std::optional<ValueType> decoded = Decode(value.text, &bytes);
            // A value the file cannot make sense of is not handed out.
            if (!decoded) return QueryResult::Failed;
            *type = *decoded;
            const bool fits = bytes.size() <= *size;
            *size = static_cast<uint32_t>(bytes.size());
            if (!fits) return QueryResult::MoreData;
            if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
            return QueryResult::Done;
        }
        return QueryResult::Missing;
    }

    bool deleteValue(const char* name) override {
        if (name == nullptr) return false;
        auto keys = ReadKeys(file_);
        if (!keys) return false;
        Key* key = FindKey(*keys, key_.name);
        if (key == nullptr) return true;
        const auto named = [name](const Value& value) { return value.name == name; };
        const size_t before = key->values.size();
        key->values.erase(std::remove_if(key->values.begin(), key->values.end(), named), key->values.end());
        if (key->values.size() != before && !WriteKeys(file_, *keys)) return false;
        key_ = *key;
        return true;
    }

private:
    std::filesystem::path file_;
    Key key_;
};

class FileStore final : public SettingsStore {
public:
    std::unique_ptr<SettingsKey> createKey(const char* name, const char* className) override {
        if (name == nullptr || *name == '\0') return nullptr;
        const std::filesystem::path file = SettingsFile();
        // A file that is there but cannot be read is not replaced.
        auto keys = ReadKeys(file);
        if (!keys) return nullptr;
        if (const Key* key = FindKey(*keys, name)) return std::make_unique<FileKey>(file, *key);
        keys->push_back({name, className != nullptr ? className : "", {}});
        if (!WriteKeys(file, *keys)) return nullptr;
        return std::make_unique<FileKey>(file, keys->back());
    }

    std::unique_ptr<SettingsKey> openKey(const char* name) override {
        if (name == nullptr) return nullptr;
        const std::filesystem::path file = SettingsFile();
        auto keys = ReadKeys(file);
        if (!keys) return nullptr;
        const Key* key = FindKey(*keys, name);
        if (key == nullptr) return nullptr;
        return std::make_unique<FileKey>(file, *key);
    }
};

}  // namespace

SettingsStore& fileSettingsStore() {
    static FileStore store;
    return store;
}

}  // namespace ebd::platform
