// A calibration journal read back from the state directory: whatever is on
// disk (torn by a crash, edited, forged by someone who can write there) must
// either decode into an entry of the module asked for, whose encoding gives
// the same bytes again, or be refused; never read past what is there.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "lib/cal_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ebd::caljournal;
    const std::vector<uint8_t> bytes(data, data + size);
    // The module of the file's own identity bytes when there are enough, so
    // that the decoder gets past the identity check.
    Identity identity{0x78, 0x56, 0x34, 0x12};
    if (size >= 14)
        for (size_t i = 0; i < kIdentitySize; ++i) identity[i] = data[10 + i];
    Entry entry;
    if (!Decode(bytes, identity, &entry)) return 0;
    if (entry.identity != identity || entry.items.size() > kMaxItems) std::abort();
    for (const Item& item : entry.items)
        if (item.data.size() > kMaxItemSize) std::abort();
    // A whole entry is exactly its own encoding: nothing after it is taken.
    if (Encode(entry) != bytes) std::abort();
    return 0;
}
