// Trace lines collected per session from a callback that sessions on several
// threads call at once. A session's slot is written only by that session's
// thread, without a lock of the test's own: a lock here would order the
// threads and hide races in the library.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace ebd::test {

struct SessionLines {
    std::thread::id owner;
    std::vector<std::string> lines;
    int foreignThread = 0;  // lines delivered on another thread than the owner's
};

// Sessions open with trace handles kBase + 0 to kBase + kSessions - 1.
template <uint32_t kBase, size_t kSessions>
struct SessionTrace {
    static inline std::array<SessionLines, kSessions> slots;
    static inline std::atomic<int> strayHandles{0};

    static int32_t Collect(uint32_t traceHandle, const char* line) {
        const uint32_t index = traceHandle - kBase;
        if (index >= kSessions) {
            ++strayHandles;
            return 0;
        }
        SessionLines& slot = slots[index];
        if (slot.owner != std::this_thread::get_id()) ++slot.foreignThread;
        slot.lines.emplace_back(line);
        return 0;
    }

    static void Clear() {
        for (SessionLines& slot : slots) slot = SessionLines{};
        strayHandles = 0;
    }
};

}  // namespace ebd::test
