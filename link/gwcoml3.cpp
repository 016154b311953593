// Message queue: the engine NomiL3Transfer sends a message segment by segment
// while it takes in whatever the module sends, and queues complete messages.
#include "link/gwcoml3.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/ebd_core.h"
#include "link/gwcoml2.h"

namespace ebd {

namespace {

constexpr uint8_t kFirstHeader = 6;
constexpr uint8_t kNextHeader = 2;
constexpr uint8_t kMaxPayload = 255;

enum class TxState { FirstReady, NextReady, Done };
enum class RxState { Idle, Assembling };

}  // namespace

void NomiL3StartTxMessage(uint32_t handle, FrameSlot& slot, uint16_t commandId, const uint8_t* data,
                          uint16_t dataLength) {
    PortEntry& entry = PortOf(handle);
    entry.txCursor = data;
    entry.txRemaining = dataLength;
    entry.txSegmentCounter = 0;
    NomiL3BuildTxSegment(handle, slot);
    const uint16_t lengthField = static_cast<uint16_t>(dataLength + 2);
    slot[1 + 2] = static_cast<uint8_t>(lengthField >> 8);
    slot[1 + 3] = static_cast<uint8_t>(lengthField & 0xFF);
    slot[1 + 4] = static_cast<uint8_t>(commandId & 0xFF);
    slot[1 + 5] = static_cast<uint8_t>(commandId >> 8);
}

void NomiL3BuildTxSegment(uint32_t handle, FrameSlot& slot) {
    PortEntry& entry = PortOf(handle);
    const uint8_t header = entry.txSegmentCounter == 0 ? kFirstHeader : kNextHeader;
    const uint16_t room = static_cast<uint16_t>(kMaxPayload - header);
    const uint16_t take = std::min(room, entry.txRemaining);
    if (take > 0) std::memcpy(slot.data() + 1 + header, entry.txCursor, take);
    entry.txCursor += take;
    entry.txRemaining = static_cast<uint16_t>(entry.txRemaining - take);
    slot[0] = static_cast<uint8_t>(header + take);
    slot[1] = kSegmentType;
    if (entry.txRemaining == 0) {
        slot[2] = kLastSegment;
    } else {
        slot[2] = entry.txSegmentCounter;
        entry.txSegmentCounter = static_cast<uint8_t>(entry.txSegmentCounter + 1);
    }
}

bool NomiL3StartRxMessage(uint32_t handle, const FrameSlot& slot, uint16_t* rxCommandId, uint8_t* rxData,
                          uint16_t* rxLength) {
    PortEntry& entry = PortOf(handle);
    entry.rxWrite = rxData;
    entry.rxExpected = 0;
    entry.rxLength = rxLength;
    *rxLength = 0;
    entry.rxType = slot[1];
    // A first segment must carry its type, number and command id.
    if (slot[0] < 4 || entry.rxType != kSegmentType) return false;
    *rxCommandId = static_cast<uint16_t>(slot[3] + 256 * slot[4]);
    return NomiL3AppendRxSegment(handle, slot);
}

bool NomiL3AppendRxSegment(uint32_t handle, const FrameSlot& slot) {
    PortEntry& entry = PortOf(handle);
    if (entry.rxWrite == nullptr || entry.rxLength == nullptr) return false;
    const uint8_t length = slot[0];
    if (length < kNextHeader || slot[1] != entry.rxType) return false;
    const uint8_t number = slot[2];
    if (number != entry.rxExpected && number != kLastSegment) return false;
    const uint8_t header = entry.rxExpected == 0 ? kFirstHeader : kNextHeader;
    if (length > header) {
        const size_t room = kMaxMessageData - *entry.rxLength;
        const size_t take = std::min<size_t>(length - header, room);
        std::memcpy(entry.rxWrite + *entry.rxLength, slot.data() + 1 + header, take);
        *entry.rxLength = static_cast<uint16_t>(*entry.rxLength + take);
    }
    entry.rxExpected = static_cast<uint8_t>(entry.rxExpected + 1);
    return true;
}

void NomiL3AddToRxQueue(uint32_t handle, uint16_t commandId, const uint8_t* data, uint16_t length) {
    PortEntry& entry = PortOf(handle);
    auto* record = new (std::nothrow) QueueRecord;
    if (record == nullptr) {
        Trace(handle, "(GWL3) NomiL3AddToRxQueue: no memory, msg 0x%x dropped", commandId);
        return;
    }
    record->commandId = commandId;
    record->length = static_cast<uint16_t>(std::min<size_t>(length, kMaxMessageData));
    std::memcpy(record->data.data(), data, record->length);
    if (entry.queueLast == nullptr) {
        entry.queueFirst = record;
    } else {
        entry.queueLast->next = record;
    }
    entry.queueLast = record;
}

int NomiL3RemoveFromRxQueue(uint32_t handle, uint16_t* commandId, uint8_t* data, uint16_t* length) {
    PortEntry& entry = PortOf(handle);
    QueueRecord* record = entry.queueFirst;
    if (record == nullptr) return kQueueEmpty;
    entry.queueFirst = record->next;
    if (entry.queueFirst == nullptr) entry.queueLast = nullptr;
    *commandId = record->commandId;
    *length = record->length;
    std::memcpy(data, record->data.data(), record->length);
    const bool doubled = record->length == entry.lastTakenLength &&
                         std::memcmp(record->data.data(), entry.lastTaken.data(), record->length) == 0;
    if (!doubled) {
        entry.lastTakenLength = record->length;
        std::memcpy(entry.lastTaken.data(), record->data.data(), record->length);
    }
    delete record;
    if (doubled) {
        TraceLine(handle, "(GWL3) NomiL3RemoveFromRxQueue: skipped doubled msg");
        return kQueueDoubled;
    }
    return kQueueTaken;
}

uint8_t NomiL3Transfer(uint32_t handle, uint16_t commandId, const uint8_t* data, uint16_t dataLength,
                       uint16_t* rxCommandId, uint8_t* rxData, uint16_t* rxLength) {
    PortEntry& entry = PortOf(handle);
    FrameSlot txSlot{};
    FrameSlot rxSlot{};
    TxState tx = TxState::Done;
    RxState rx = RxState::Idle;
    if (data != nullptr) {
        NomiL3StartTxMessage(handle, txSlot, commandId, data, dataLength);
        tx = TxState::FirstReady;
    }
    *rxCommandId = 0xFFFF;
    *rxLength = 0;

    int idle = 0;
    int fruitless = 0;
    Stopwatch sinceUsable;
    uint8_t status = kLinkDone;
    bool repeat;

    // How long a silent module would keep the run waiting in its present state.
    const auto silentWaitMs = [&]() -> uint64_t {
        const auto& ms = entry.timeoutMs;
        if (tx != TxState::Done) return static_cast<uint64_t>(ms[1]) + ms[0];
        if (rx == RxState::Assembling) return static_cast<uint64_t>(kMaxIdlePasses + 1) * ms[1];
        return ms[2];
    };
    // Gives up as a silent module would end the run.
    const auto giveUp = [&]() { return tx != TxState::Done ? kLinkTimeout : kLinkDone; };

    // Takes a segment by the receive state; returns whether it was accepted.
    auto take = [&](bool refusedFirstRepeats) {
        const uint8_t number = rxSlot[2];
        if (rx == RxState::Idle) {
            if (NomiL3StartRxMessage(handle, rxSlot, rxCommandId, rxData, rxLength)) {
                if (number == kLastSegment) {
                    NomiL3AddToRxQueue(handle, *rxCommandId, rxData, *rxLength);
                } else {
                    rx = RxState::Assembling;
                }
                entry.lastRxSegment = number;
                return true;
            }
            if (refusedFirstRepeats) repeat = true;
            return false;
        }
        if (number == entry.lastRxSegment) return false;  // a repeat: ignored
        idle = 0;
        bool accepted = NomiL3AppendRxSegment(handle, rxSlot);
        if (!accepted) {
            rx = RxState::Idle;
        } else if (number == kLastSegment) {
            rx = RxState::Idle;
            NomiL3AddToRxQueue(handle, *rxCommandId, rxData, *rxLength);
        }
        entry.lastRxSegment = number;
        return accepted;
    };

    do {
        repeat = false;
        bool progress = false;
        // Something came in that could not be used.
        bool useless = false;
        uint8_t received = 0;
        uint8_t rxStatus;
        if (rx == RxState::Idle) {
            rxStatus = ReceiveFrame(handle, rxSlot, &received, dataLength == 0 ? 1 : 0);
            if (received != 0) {
                idle = 0;
                progress = take(true);
                useless = !progress;
            }
        } else {
            rxStatus = ReceiveFrame(handle, rxSlot, &received, 0);
            if (received != 0) {
                progress = take(true);
                useless = !progress;
            } else {
                ++idle;
            }
        }

        if (rxStatus == kLinkRefused) {
            // The port itself failed: nothing more can come, end the run.
            status = kLinkRefused;
            break;
        }
        if (rxStatus != kLinkDone) {
            repeat = true;
            useless = true;
        } else if (tx != TxState::Done) {
            uint8_t acked = 0;
            received = 0;
            status = SendFrame(handle, txSlot, &acked, rxSlot, &received);
            if (acked != 0) {
                progress = true;
                if (txSlot[2] == kLastSegment) {
                    tx = TxState::Done;
                } else {
                    NomiL3BuildTxSegment(handle, txSlot);
                    tx = TxState::NextReady;
                }
            }
            if (received != 0) {
                if (take(false)) {
                    progress = true;
                } else {
                    useless = true;
                }
            }
        }

        if (progress) sinceUsable.restart();
        fruitless = progress ? 0 : fruitless + 1;
        if (fruitless >= kMaxFruitlessPasses) {
            Trace(handle, "(GWL3) NomiL3Transfer: nothing usable received in %d passes, giving up",
                  kMaxFruitlessPasses);
            status = giveUp();
            break;
        }
        // Silence has bounds of its own; the clock judges what came in.
        if (useless && status == kLinkDone) {
            const uint64_t limit = silentWaitMs();
            if (sinceUsable.elapsedMs() >= limit) {
                Trace(handle, "(GWL3) NomiL3Transfer: nothing usable received in %d ms, giving up",
                      static_cast<int>(limit));
                status = giveUp();
                break;
            }
        }
    } while ((tx != TxState::Done || rx == RxState::Assembling || repeat) && status == kLinkDone &&
             idle <= kMaxIdlePasses);
    return status;
}

}  // namespace ebd
