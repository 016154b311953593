// The skip buffer with its text dump and EXIT reports, fed with arbitrary bytes
// in arbitrary chunks, as stray input arrives.
#include "fuzz_peer.h"
#include "link/gwcoml1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ebd;
    fuzz::FuzzPeer peer(nullptr, 0);
    fuzz::FuzzSession session(peer);
    const uint32_t handle = session.handle();
    if (handle == 0) return 0;
    // Each chunk: one length byte, then that many bytes (1 to 64).
    size_t pos = 0;
    while (pos + 1 < size) {
        const size_t take = std::min<size_t>(data[pos] % 64 + 1, size - pos - 1);
        SkipBytes(handle, data + pos + 1, static_cast<uint8_t>(take));
        pos += 1 + take;
    }
    FlushSkipBuffer(handle);
    return 0;
}
