// Message queue: messages cut into segments (one per frame) on the way out,
// segments put back together on the way in, and a receive queue per port.
#pragma once

#include <cstdint>

#include "core/ebd_types.h"

namespace ebd {

inline constexpr uint8_t kSegmentType = 0xD6;
inline constexpr uint8_t kLastSegment = 0xFF;
// A half-built incoming message is dropped after this many passes without a
// new segment.
inline constexpr int kMaxIdlePasses = 200;
// A run gives up after this many passes in a row that neither took in a
// segment nor got one acknowledged. Every refused frame costs a NAK behind the
// 10 ms gap between blocks, so at 115200 baud these passes can add up to some
// 40 s; what ends a run of garbage in practice is the time bound below.
inline constexpr int kMaxFruitlessPasses = 4096;
// A run that takes in only what it cannot use (stray bytes, bad frames,
// refused or repeated segments) gives up once it has gone without a usable
// segment or an acknowledgement for as long as it would wait for a silent
// module in the same state: the short receive wait plus the acknowledgement
// wait while a segment is still to be sent, the idle passes while a message is
// half built, the long wait otherwise. It then ends as it would for a silent
// module: status 8 while a segment is unsent, else 0 with nothing queued.
// Either bound traces why.

// Outcomes of NomiL3RemoveFromRxQueue.
inline constexpr int kQueueDoubled = 0;
inline constexpr int kQueueEmpty = 1;
inline constexpr int kQueueTaken = 2;

uint8_t NomiL3Transfer(uint32_t handle, uint16_t commandId, const uint8_t* data, uint16_t dataLength,
                       uint16_t* rxCommandId, uint8_t* rxData, uint16_t* rxLength);
int NomiL3RemoveFromRxQueue(uint32_t handle, uint16_t* commandId, uint8_t* data, uint16_t* length);

void NomiL3StartTxMessage(uint32_t handle, FrameSlot& slot, uint16_t commandId, const uint8_t* data,
                          uint16_t dataLength);
void NomiL3BuildTxSegment(uint32_t handle, FrameSlot& slot);
bool NomiL3StartRxMessage(uint32_t handle, const FrameSlot& slot, uint16_t* rxCommandId, uint8_t* rxData,
                          uint16_t* rxLength);
bool NomiL3AppendRxSegment(uint32_t handle, const FrameSlot& slot);
void NomiL3AddToRxQueue(uint32_t handle, uint16_t commandId, const uint8_t* data, uint16_t length);

}  // namespace ebd
