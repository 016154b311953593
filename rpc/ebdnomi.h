// Message exchange with the target: send one request message, wait for the
// message with an expected command id; the reference counter; line-end markers.
#pragma once

#include <cstdint>

namespace ebd {

// How many messages one receive examines (taken, doubled or of another id)
// before it gives up: a module that keeps sending the wrong message cannot
// keep a caller waiting for ever. Each such message costs at least the 10 ms
// gap before its ACK, so this bound is a backstop: a receive that has gone
// without the expected message for as long as it waits on a silent line (the
// long wait of one receive-only run) gives up first, and returns false as it
// would for silence.
inline constexpr int kMaxMessagesPerReceive = 256;

bool EBDSendToTarget(uint32_t handle, uint16_t commandId, const uint8_t* data, uint16_t length);
// `copied`, when given, receives the number of data bytes copied into `buffer`
// (the message's length, at most `maxLength`); it is left alone on false.
bool EBDReceiveFromTarget(uint32_t handle, uint16_t expectedCommandId, uint8_t* buffer, uint16_t maxLength,
                          uint16_t* copied = nullptr);
uint16_t EBDNextReference();
// `out` needs room for 4 * strlen(text) + 1 characters.
void EBDMarkLineEnds(const char* text, char* out);

// For tests: sets the next reference the counter hands out.
void EBDSetNextReference(uint16_t next);

}  // namespace ebd
