#include "lib/cal_journal.h"

#include <algorithm>
#include <cstdio>

#include "platform/state_files.h"

namespace ebd::caljournal {

namespace {

constexpr std::array<uint8_t, 4> kMagic{'E', 'B', 'D', 'J'};
constexpr uint16_t kFormatVersion = 1;
// Flags: the module's other items were saved aside for the erase.
constexpr uint16_t kOthersSaved = 0x0001;
constexpr size_t kHeaderSize = 4 + 2 + 2 + 2 + kIdentitySize + 2 + 4;
constexpr size_t kIdentityAt = 10;
constexpr size_t kItemOverhead = 1 + 1 + 2 + 4;
// The largest entry: every item at its largest.
constexpr size_t kMaxEntrySize = kHeaderSize + kMaxItems * (kItemOverhead + kMaxItemSize);
const char* const kSuffix = ".journal";
// Names tried for a damaged entry before giving up.
constexpr int kAsideNames = 100;

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
    static const std::array<uint32_t, 256> table = MakeCrcTable();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string FileName(const Identity& identity) {
    char name[32];
    std::snprintf(name, sizeof(name), "cal-%08x%s", static_cast<unsigned>(Get32(identity.data())), kSuffix);
    return name;
}

std::vector<uint8_t> Encode(const Entry& entry) {
    std::vector<uint8_t> out(kMagic.begin(), kMagic.end());
    Put16(out, kFormatVersion);
    Put16(out, entry.othersSaved ? kOthersSaved : 0);
    Put16(out, kIdentitySize);
    out.insert(out.end(), entry.identity.begin(), entry.identity.end());
    Put16(out, static_cast<uint16_t>(entry.items.size()));
    Put32(out, Crc32(out.data(), out.size()));
    for (const Item& item : entry.items) {
        const size_t start = out.size();
        out.push_back(item.id);
        out.push_back(0);
        Put16(out, static_cast<uint16_t>(item.data.size()));
        out.insert(out.end(), item.data.begin(), item.data.end());
        Put32(out, Crc32(out.data() + start, out.size() - start));
    }
    return out;
}

bool Decode(const std::vector<uint8_t>& bytes, const Identity& identity, Entry* entry) {
    entry->items.clear();
    if (bytes.size() < kHeaderSize) return false;
    const uint8_t* p = bytes.data();
    if (!std::equal(kMagic.begin(), kMagic.end(), p) || Get16(p + 4) != kFormatVersion ||
        (Get16(p + 6) & ~kOthersSaved) != 0 || Get16(p + 8) != kIdentitySize ||
        Get32(p + kHeaderSize - 4) != Crc32(p, kHeaderSize - 4))
        return false;
    entry->othersSaved = (Get16(p + 6) & kOthersSaved) != 0;
    std::copy(p + kIdentityAt, p + kIdentityAt + kIdentitySize, entry->identity.begin());
    if (entry->identity != identity) return false;
    const uint16_t count = Get16(p + kIdentityAt + kIdentitySize);
    if (count > kMaxItems) return false;
    size_t at = kHeaderSize;
    int lastId = -1;
    for (uint16_t n = 0; n < count; ++n) {
        if (bytes.size() - at < kItemOverhead) return false;
        const uint8_t id = p[at];
        const uint16_t size = Get16(p + at + 2);
        if (id >= kMaxItems || id <= lastId || p[at + 1] != 0 || size > kMaxItemSize ||
            bytes.size() - at < kItemOverhead + size)
            return false;
        const size_t end = at + 4 + size;
        if (Get32(p + end) != Crc32(p + at, end - at)) return false;
        entry->items.push_back({id, std::vector<uint8_t>(p + at + 4, p + end)});
        lastId = id;
        at = end + 4;
    }
    return at == bytes.size();
}

bool Pending(std::vector<std::string>* names) {
    return platform::listStateFiles(kSuffix, names);
}

Load LoadEntry(const Identity& identity, Entry* entry, std::string* asideName) {
    asideName->clear();
    const std::string name = FileName(identity);
    std::vector<uint8_t> bytes;
    switch (platform::readStateFile(name, kMaxEntrySize, &bytes)) {
        case platform::StateRead::Missing:
            return Load::None;
        case platform::StateRead::Failed:
            return Load::Failed;
        case platform::StateRead::Done:
            break;
    }
    if (Decode(bytes, identity, entry)) return Load::Found;
    entry->items.clear();
    for (int n = 0; n < kAsideNames; ++n) {
        const std::string aside = name + ".damaged" + (n == 0 ? "" : "." + std::to_string(n));
        if (platform::moveStateFileAside(name, aside)) {
            *asideName = aside;
            break;
        }
    }
    return Load::Damaged;
}

bool Save(const Entry& entry) {
    const std::vector<uint8_t> bytes = Encode(entry);
    return platform::writeStateFile(FileName(entry.identity), bytes.data(), bytes.size());
}

bool Remove(const Identity& identity) {
    return platform::removeStateFile(FileName(identity));
}

}  // namespace ebd::caljournal
