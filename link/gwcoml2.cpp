// Frames: every piece of NOMI data travels in a frame that the other side
// acknowledges with one byte. Both sides may send at any time, so a frame of
// the module can arrive while we wait for the acknowledgement of our own.
#include "link/gwcoml2.h"

#include <cstring>

#include "core/ebd_core.h"
#include "link/gwcoml1.h"

namespace ebd {

namespace {

// Reads the rest of a frame after its STX: L into slot[0], the payload behind
// it, then the check byte and the end byte, each only while the reads succeed.
uint8_t ReadFrameBody(uint32_t handle, uint8_t* lengthAndPayload, uint8_t* payload, uint8_t* check,
                      uint8_t* end) {
    uint8_t status = PortRead(handle, lengthAndPayload, 1);
    if (status == kLinkDone && lengthAndPayload[0] > 0) status = PortRead(handle, payload, lengthAndPayload[0]);
    if (status == kLinkDone) status = PortRead(handle, check, 1);
    if (status == kLinkDone) status = PortRead(handle, end, 1);
    return status;
}

void SendAckByte(uint32_t handle, uint8_t byte) {
    SendBlockProlog(handle);
    PortWrite(handle, &byte, 1);
    StampSendTime(handle);
}

}  // namespace

uint8_t FrameChecksum(const uint8_t* data, uint8_t count) {
    uint8_t check = static_cast<uint8_t>(kStx ^ count);
    for (uint8_t i = 0; i < count; ++i) check ^= data[i];
    return check;
}

uint8_t SendFrame(uint32_t handle, const FrameSlot& slot, uint8_t* acked, FrameSlot& receiveSlot,
                  uint8_t* received) {
    *acked = 0;
    const uint8_t length = slot[0];
    const uint8_t check = FrameChecksum(slot.data() + 1, length);
    PortEntry& entry = PortOf(handle);
    for (int sent = 0; sent < kMaxFrameRepeats; ++sent) {
        entry.tx[0] = kStx;
        entry.tx[1] = length;
        std::memcpy(entry.tx.data() + 2, slot.data() + 1, length);
        entry.tx[2 + length] = check;
        entry.tx[3 + length] = kEtx;
        SendBlockProlog(handle);
        // A failed write shows as a missing acknowledgement.
        PortWrite(handle, entry.tx.data(), static_cast<uint16_t>(length + 4));
        StampSendTime(handle);
        const uint8_t status = WaitForAck(handle, receiveSlot, received);
        if (status == kLinkAck) {
            *acked = 1;
            return kLinkDone;
        }
        if (status == kLinkTimeout || status == kLinkRefused) return status;
    }
    Trace(handle, "(EBD ) SendFrame: no ACK after %d sends, giving up", kMaxFrameRepeats);
    return kLinkTimeout;
}

void Stopwatch::restart() {
    start_ = platform::current().counter();
}

uint64_t Stopwatch::elapsedMs() const {
    const uint64_t now = platform::current().counter();
    const uint64_t ticks = now >= start_ ? now - start_ : now + (UINT64_MAX - start_);
    const uint32_t perMs = Time().ticksPerMs;
    return ticks / (perMs == 0 ? 1 : perMs);
}

uint8_t WaitForAck(uint32_t handle, FrameSlot& receiveSlot, uint8_t* received) {
    // A silent module ends the wait after the class-0 time; so does one that
    // sends only what cannot be used.
    const uint32_t silentMs = PortOf(handle).timeoutMs[0];
    Stopwatch fruitless;
    const auto giveUp = [&]() {
        Trace(handle, "(EBD ) WaitForAck: no ACK within %d ms, giving up", static_cast<int>(silentMs));
        return kLinkTimeout;
    };
    for (int taken = 0; taken < kMaxAckWaitBytes; ++taken) {
        uint8_t status = SetReadTimeoutClass(handle, 0);
        if (status != kLinkDone) return status;
        uint8_t byte = 0;
        const uint8_t readStatus = PortRead(handle, &byte, 1);
        status = SetReadTimeoutClass(handle, 1);
        if (status != kLinkDone) {
            if (readStatus == kLinkDone) SkipBytes(handle, &byte, 1);
            return status;
        }
        if (readStatus != kLinkDone) return readStatus;

        if (byte == kAck) return kLinkAck;
        if (byte == kNak) return kLinkNak;
        if (byte == kStx && *received == 0) {
            // The module sends a frame of its own while we wait.
            GoodData(handle);
            uint8_t check = 0;
            uint8_t end = 0;
            const uint8_t bodyStatus =
                ReadFrameBody(handle, receiveSlot.data(), receiveSlot.data() + 1, &check, &end);
            if (bodyStatus == kLinkDone && end == kEtx &&
                check == FrameChecksum(receiveSlot.data() + 1, receiveSlot[0])) {
                *received = 1;
                SendAckByte(handle, kAck);
                fruitless.restart();
                continue;
            }
            // Otherwise stay silent: the module repeats the frame when its own
            // acknowledgement wait runs out.
        } else if (byte == kStx) {
            // No room for a second frame: read it out and refuse it. Its payload
            // goes to the caller's stack, not to an area other sessions share.
            std::array<uint8_t, 255> discard;
            uint8_t length = 0;
            uint8_t check = 0;
            uint8_t end = 0;
            ReadFrameBody(handle, &length, discard.data(), &check, &end);
            SendAckByte(handle, kNak);
        } else {
            SkipBytes(handle, &byte, 1);
        }
        if (fruitless.elapsedMs() >= silentMs) return giveUp();
    }
    Trace(handle, "(EBD ) WaitForAck: no ACK among %d bytes received, giving up", kMaxAckWaitBytes);
    return kLinkTimeout;
}

uint8_t ReceiveFrame(uint32_t handle, FrameSlot& slot, uint8_t* received, int longWait) {
    *received = 0;
    SetReadTimeoutClass(handle, longWait != 0 ? 2 : 1);
    uint8_t byte = 0;
    if (PortRead(handle, &byte, 1) != kLinkDone) return kLinkDone;
    if (byte != kStx) {
        SkipBytes(handle, &byte, 1);
        return kLinkStray;
    }
    GoodData(handle);
    uint8_t check = 0;
    uint8_t end = 0;
    uint8_t status = ReadFrameBody(handle, slot.data(), slot.data() + 1, &check, &end);
    if (status == kLinkDone) {
        if (end != kEtx) {
            status = kLinkBadEnd;
        } else if (check != FrameChecksum(slot.data() + 1, slot[0])) {
            status = kLinkBadCheck;
        }
    }
    if (status == kLinkDone) {
        SendAckByte(handle, kAck);
        *received = 1;
        return kLinkDone;
    }
    SendAckByte(handle, kNak);
    return status;
}

void SendBlockProlog(uint32_t handle) {
    platform::Platform& os = platform::current();
    const PortEntry& entry = PortOf(handle);
    const TimeBase& time = Time();
    const uint64_t stamp = entry.sendStamp;
    const uint64_t now = os.counter();
    const uint64_t elapsed = now >= stamp ? now - stamp : now + (UINT64_MAX - stamp);
    if (elapsed >= time.ticksPer10ms) return;
    Trace(handle, "(EBD ) SendBlockProlog: delay %d msecs to avoid race condition in module...",
          static_cast<int>((time.ticksPer10ms - elapsed) / (time.ticksPerMs == 0 ? 1 : time.ticksPerMs)));
    // Spin rather than sleep, so that the next block goes out as soon as the gap
    // has passed. The counter is monotonic, so the spin ends within 10 ms.
    const uint64_t until = stamp + time.ticksPer10ms;
    while (os.counter() < until) {
    }
}

void StampSendTime(uint32_t handle) { PortOf(handle).sendStamp = platform::current().counter(); }

void GoodData(uint32_t handle) {
    PortEntry& entry = PortOf(handle);
    if (entry.skipLength == 0) return;
    Trace(handle, "(EBD ) GoodData, skipLength is %d", entry.skipLength);
    FlushSkipBuffer(handle);
}

}  // namespace ebd
