// Library settings: the serial port and baud rate kept in a machine-wide
// settings file, under the key QMB_Library.
//
// The file holds keys and typed values in the style of a registry export:
//
//   [QMB_Library]
//   @class="QMB_Library"
//   "Baudrate"=dword:0001c200
//   "ComPort"=hex:01
//
// Value types: dword (eight hex digits, a 32-bit number), hex (binary bytes,
// comma-separated) and quoted strings. Lines starting with '#' or ';' are
// comments. Keys and values the library does not know are kept as they are
// when it saves.
#include <unistd.h>

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

#include "lib/ebd.h"

namespace ebd {

namespace {

constexpr const char* kDefaultSettingsFile = "/etc/ebd/settings.conf";
constexpr const char* kSettingsFileVariable = "EBD_SETTINGS_FILE";
constexpr const char* kKey = "QMB_Library";
constexpr const char* kComPort = "ComPort";
constexpr const char* kBaudrate = "Baudrate";
constexpr uint8_t kDefaultPort = 1;
constexpr uint32_t kDefaultBaudRate = 115200;
// A settings file is a few lines; anything far larger is not ours.
constexpr std::uintmax_t kMaxFileSize = 1 << 20;

enum class ValueType { Dword, Binary, String, Other };

struct Value {
    std::string name;
    std::string text;  // as it stands behind the '='
};

struct Key {
    std::string name;
    std::string className;
    std::vector<Value> values;
};

std::filesystem::path SettingsFile() {
    const char* path = std::getenv(kSettingsFileVariable);
    return path != nullptr && *path != '\0' ? std::filesystem::path(path)
                                            : std::filesystem::path(kDefaultSettingsFile);
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

// The type of a value and its data bytes as a registry query would give them.
ValueType Decode(const std::string& text, std::vector<uint8_t>* bytes) {
    bytes->clear();
    if (text.rfind("dword:", 0) == 0) {
        const std::string digits = text.substr(6);
        if (digits.empty() || digits.size() > 8) return ValueType::Other;
        uint32_t value = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) return ValueType::Other;
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
            if (item.empty() || item.size() > 2) return ValueType::Other;
            int value = 0;
            for (char c : item) {
                const int d = HexDigit(c);
                if (d < 0) return ValueType::Other;
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
    return ValueType::Other;
}

std::string DwordText(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", value);
    return text;
}

std::string BinaryText(uint8_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "hex:%02x", value);
    return text;
}

// Reads the settings file. Returns nullopt when it cannot be read; a missing
// file is an empty list of keys.
std::optional<std::vector<Key>> ReadKeys(const std::filesystem::path& file, bool* exists) {
    std::vector<Key> keys;
    std::error_code error;
    *exists = std::filesystem::exists(file, error);
    if (!*exists) return error ? std::nullopt : std::optional(keys);
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > kMaxFileSize) return std::nullopt;
    std::ifstream in(file);
    if (!in) return std::nullopt;
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

Key* FindKey(std::vector<Key>& keys, const char* name) {
    for (Key& key : keys)
        if (key.name == name) return &key;
    return nullptr;
}

const Value* FindValue(const Key& key, const char* name) {
    for (const Value& value : key.values)
        if (value.name == name) return &value;
    return nullptr;
}

void SetValue(Key& key, const char* name, std::string text) {
    for (Value& value : key.values) {
        if (value.name == name) {
            value.text = std::move(text);
            return;
        }
    }
    key.values.push_back({name, std::move(text)});
}

// Writes the keys to a file beside the settings file and puts it in place in
// one step, so that a reader in another process sees the old file or the new
// one, never half of one.
bool WriteKeys(const std::filesystem::path& file, const std::vector<Key>& keys) {
    const std::filesystem::path temporary =
        file.string() + ".tmp." + std::to_string(static_cast<long>(::getpid()));
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!out) return false;
        out << "# Settings of the module-control library, for the whole machine.\n";
        out << "# Value types: dword:<8 hex digits>, hex:<bytes>, \"<text>\".\n";
        out << "# QMB_Library: \"ComPort\" (hex, 1 byte, default 01), \"Baudrate\" (dword, default "
               "0001c200).\n";
        for (const Key& key : keys) {
            out << '[' << key.name << "]\n";
            if (!key.className.empty()) out << "@class=\"" << key.className << "\"\n";
            for (const Value& value : key.values) out << '"' << value.name << "\"=" << value.text << '\n';
        }
        out.flush();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    return true;
}

int32_t Save(uint8_t port, uint32_t baudRate) {
    const std::filesystem::path file = SettingsFile();
    std::error_code error;
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), error);
        if (error) return 0;
    }
    bool exists = false;
    auto keys = ReadKeys(file, &exists);
    // A file that is there but cannot be read is not replaced.
    if (!keys) return 0;
    Key* key = FindKey(*keys, kKey);
    if (key == nullptr) {
        keys->push_back({kKey, kKey, {}});
        key = &keys->back();
    }
    SetValue(*key, kBaudrate, DwordText(baudRate));
    SetValue(*key, kComPort, BinaryText(port));
    return WriteKeys(file, *keys) ? 1 : 0;
}

int32_t Load(uint8_t* port) {
    bool exists = false;
    auto keys = ReadKeys(SettingsFile(), &exists);
    if (!keys) return 0;
    const Key* key = FindKey(*keys, kKey);
    if (key == nullptr) return 0;
    const Value* value = FindValue(*key, kComPort);
    if (value == nullptr) return 0;
    std::vector<uint8_t> bytes;
    const ValueType type = Decode(value->text, &bytes);
    // The port is read into one byte: a longer value does not fit and leaves
    // it as it was; a value that fits is taken whatever its type, but only a
    // binary one counts.
    if (type == ValueType::Other || bytes.size() > 1) return 0;
    if (bytes.size() == 1) *port = bytes[0];
    if (type != ValueType::Binary) return 0;
    // Only the port is loaded: the baud rate stays the default that the caller
    // was handed, whatever was saved, and callers rely on that.
    return 1;
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
