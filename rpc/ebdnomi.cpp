// Message exchange with the target. Knows nothing of payloads: it moves a
// command id and a block of bytes through the message queue engine.
#include "rpc/ebdnomi.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "core/ebd_core.h"
#include "link/gwcoml2.h"
#include "link/gwcoml3.h"

namespace ebd {

namespace {
// One counter for the whole process: each value goes to one request, whichever
// session and thread asks (it wraps from 65535 to 0).
std::atomic<uint16_t> g_reference{0};
}  // namespace

uint16_t EBDNextReference() { return g_reference.fetch_add(1, std::memory_order_relaxed); }

void EBDSetNextReference(uint16_t next) { g_reference = next; }

bool EBDSendToTarget(uint32_t handle, uint16_t commandId, const uint8_t* data, uint16_t length) {
    std::array<uint8_t, kMaxMessageData> scratch;
    uint16_t rxCommandId = 0;
    uint16_t rxLength = 0;
    static const uint8_t kEmpty = 0;
    return NomiL3Transfer(handle, commandId, data != nullptr ? data : &kEmpty, length, &rxCommandId,
                          scratch.data(), &rxLength) == kLinkDone;
}

bool EBDReceiveFromTarget(uint32_t handle, uint16_t expectedCommandId, uint8_t* buffer, uint16_t maxLength,
                          uint16_t* copied) {
    Trace(handle, "(NOMI) EBDReceiveFromTarget: expected cmd 0x%x, dataLength %d", expectedCommandId, maxLength);
    if (maxLength > kMaxMessageData) {
        Trace(handle, "(NOMI) EBDReceiveFromTarget: reduce expected dataLength %d to max length %d", maxLength,
              static_cast<int>(kMaxMessageData));
        maxLength = static_cast<uint16_t>(kMaxMessageData);
    }
    uint16_t commandId = 0;
    uint16_t length = 0;
    uint16_t rxCommandId = 0;
    uint16_t rxLength = 0;
    // The receive area is the caller's: sessions on other threads have their own.
    std::array<uint8_t, kMaxMessageData> receiveArea;
    // Only the expected message is of use to this receive; doubled messages
    // and messages of other ids do not extend its wait.
    const uint32_t silentMs = PortOf(handle).timeoutMs[2];
    const Stopwatch waited;
    bool ranEngine = false;
    for (int examined = 0; examined < kMaxMessagesPerReceive; ++examined) {
        int taken = NomiL3RemoveFromRxQueue(handle, &commandId, receiveArea.data(), &length);
        while (taken != kQueueTaken) {
            if (++examined >= kMaxMessagesPerReceive) break;
            if (ranEngine && waited.elapsedMs() >= silentMs) {
                Trace(handle, "(NOMI) EBDReceiveFromTarget: no cmd 0x%x within %d ms, giving up",
                      expectedCommandId, static_cast<int>(silentMs));
                return false;
            }
            ranEngine = true;
            NomiL3Transfer(handle, 0, nullptr, 0, &rxCommandId, receiveArea.data(), &rxLength);
            taken = NomiL3RemoveFromRxQueue(handle, &commandId, receiveArea.data(), &length);
            if (taken == kQueueEmpty) return false;
        }
        if (taken != kQueueTaken) break;
        Trace(handle, "(NOMI) ReceiveFromTarget: cmd 0x%x, len %d", commandId, length);
        TraceHexBytes(handle, "(NOMI) ReceiveFromTarget: recBuf ->", receiveArea.data(), std::min<int>(length, 16));
        if (commandId != expectedCommandId) {
            Trace(handle, "(NOMI) ReceiveFromTarget: expected cmd 0x%x - No match!", expectedCommandId);
            continue;
        }
        Trace(handle, "(NOMI) ReceiveFromTarget: expected cmd 0x%x - Match!", expectedCommandId);
        const uint16_t count = std::min(length, maxLength);
        if (count > 0 && buffer != nullptr) std::memcpy(buffer, receiveArea.data(), count);
        TraceHexBytes(handle, "(NOMI) ReceiveFromTarget: data ->", receiveArea.data(), std::min<int>(count, 16));
        if (copied != nullptr) *copied = count;
        return true;
    }
    Trace(handle, "(NOMI) EBDReceiveFromTarget: no cmd 0x%x among %d messages, giving up", expectedCommandId,
          kMaxMessagesPerReceive);
    return false;
}

void EBDMarkLineEnds(const char* text, char* out) {
    if (out == nullptr) return;
    if (text == nullptr) {
        *out = '\0';
        return;
    }
    for (; *text != '\0'; ++text) {
        if (*text == '\n') {
            std::memcpy(out, "<LF>", 4);
            out += 4;
        } else if (*text == '\r') {
            std::memcpy(out, "<CR>", 4);
            out += 4;
        } else {
            *out++ = *text;
        }
    }
    *out = '\0';
}

}  // namespace ebd
