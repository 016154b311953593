// Frames: STX, length, payload, check byte, ETX; acknowledged by ACK or NAK.
#pragma once

#include <cstdint>

#include "core/ebd_types.h"

namespace ebd {

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;

// How often a frame is sent again after NAK before the sender gives up with
// status 8: a module that refuses a frame this often will not take it.
inline constexpr int kMaxFrameRepeats = 32;
// How many bytes that are neither ACK nor NAK an acknowledgement wait takes in
// (stray bytes and the module's own frames) before it gives up with status 8.
// The wait also gives up, with the same status, once it has gone as long as
// the class-0 time without an acknowledgement or a frame it could take in:
// a bad frame of the module costs no NAK there, so garbage at line speed would
// reach the byte bound only after seconds.
inline constexpr int kMaxAckWaitBytes = 4096;

// A stopwatch on the performance counter, for waits that must end as they
// would for a silent module when what comes in is of no use.
class Stopwatch {
public:
    Stopwatch() { restart(); }
    void restart();
    uint64_t elapsedMs() const;

private:
    uint64_t start_ = 0;
};

uint8_t FrameChecksum(const uint8_t* data, uint8_t count);
uint8_t SendFrame(uint32_t handle, const FrameSlot& slot, uint8_t* acked, FrameSlot& receiveSlot,
                  uint8_t* received);
uint8_t WaitForAck(uint32_t handle, FrameSlot& receiveSlot, uint8_t* received);
uint8_t ReceiveFrame(uint32_t handle, FrameSlot& slot, uint8_t* received, int longWait);
void SendBlockProlog(uint32_t handle);
void StampSendTime(uint32_t handle);
void GoodData(uint32_t handle);

}  // namespace ebd
