// Exit data: the records of the EXIT reports the module printed among the
// bytes the library skipped.
#include <algorithm>
#include <array>
#include <cstring>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "link/gwcoml1.h"
#include "rpc/ebdmsgs.h"

namespace ebd {

namespace {

constexpr size_t kWordsPerRecord = 4;
constexpr size_t kRecordBytes = 4 * kWordsPerRecord;

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WGetExitData(EBDHandle handle, uint8_t maxBytes, uint8_t* pCount, uint8_t* pData) {
    if (!HandleValid(handle)) {
        // A handle whose port field names a port still tells whose call failed.
        const int port = PortOfHandle(handle);
        if (port >= 1 && port <= kMaxPort) Port(port).lastError = EBD_ERR_INVALID_HANDLE;
        return 0;
    }
    if (pCount == nullptr || pData == nullptr) return 0;
    // Reports already skipped are evaluated now; input still pending joins the
    // skip buffer and is evaluated at the next flush.
    FlushSkipBuffer(handle);
    SkipPendingInput(handle);

    ExitRecords exit;
    {
        // Another session's open may clear the records at the same time.
        const std::lock_guard lock(ExitRecordsLock());
        exit = PortOf(handle).exit;
    }
    // The count keeps counting past the records kept; the caller is told how
    // many records it gets.
    const size_t kept = std::min<size_t>(exit.count, exit.words.size());
    *pCount = static_cast<uint8_t>(kept);
    std::array<uint8_t, kRecordBytes * std::tuple_size_v<decltype(exit.words)>> image{};
    for (size_t r = 0; r < kept; ++r)
        for (size_t w = 0; w < kWordsPerRecord; ++w)
            msg::Put32(image.data(), kRecordBytes * r + 4 * w, exit.words[r][w]);
    std::memcpy(pData, image.data(), std::min<size_t>(maxBytes, kRecordBytes * kept));
    return 1;
}
