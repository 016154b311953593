// The calibration journal: what a write-back to the module's NVRAM is about
// to erase, kept on disk until it is in NVRAM again, so that neither a failed
// call nor the death of the process (a crash, a power cut) loses it.
//
// One entry per module, a file "cal-<serial>.journal" in the state directory,
// <serial> being the module's flash serial number as eight hex digits. Its
// bytes, all numbers little-endian:
//   header  magic "EBDJ", format version (16 bits, 1), flags (16 bits: 1 = the
//           module's other items were saved aside for the erase and may
//           still wait for their restore), identity size (16 bits, 4), the
//           identity (the 4 bytes of the flash serial number as the
//           module sends them), item count (16 bits), CRC-32 of the header's
//           bytes before it (32 bits)
//   items   per item: id (8 bits), 0 (8 bits), size (16 bits), its bytes,
//           CRC-32 of the item's bytes before it (32 bits); ids ascending
// and nothing after the last item. An entry that breaks any of this is
// damaged: it is never written to a module, but renamed to
// "cal-<serial>.journal.damaged" (".damaged.1", ... when that is taken) and
// kept for the operator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ebd::caljournal {

inline constexpr size_t kIdentitySize = 4;
using Identity = std::array<uint8_t, kIdentitySize>;
// Ids 0 to 18; an item holds at most what a read-back slot holds.
inline constexpr uint8_t kMaxItems = 19;
inline constexpr uint16_t kMaxItemSize = 1400;

struct Item {
    uint8_t id = 0;
    std::vector<uint8_t> data;
};

struct Entry {
    Identity identity{};
    bool othersSaved = false;
    std::vector<Item> items;  // ids ascending, each at most once
};

// The entry's file name in the state directory.
std::string FileName(const Identity& identity);

std::vector<uint8_t> Encode(const Entry& entry);
// False when `bytes` are not a whole, undamaged entry of `identity`.
bool Decode(const std::vector<uint8_t>& bytes, const Identity& identity, Entry* entry);

// CRC-32 (the polynomial of zip and Ethernet) of `size` bytes.
uint32_t Crc32(const uint8_t* data, size_t size);

// Names of the entries the state directory holds, of any module; false when
// the directory cannot be used.
bool Pending(std::vector<std::string>* names);

enum class Load {
    None,     // no entry of this module
    Found,    // read whole and undamaged
    Damaged,  // damaged; moved aside to *asideName (empty when even that failed)
    Failed,   // there, but could not be read
};
Load LoadEntry(const Identity& identity, Entry* entry, std::string* asideName);

// Puts the entry durably in place of the module's earlier one.
bool Save(const Entry& entry);
// Removes the module's entry; true when it is gone.
bool Remove(const Identity& identity);

}  // namespace ebd::caljournal
