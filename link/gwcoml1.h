// Port access: opening a port with the protocol's line settings, reads and
// writes with per-byte time-out classes, the three line settings of the module
// boot, and the skip buffer of input nobody consumed.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace ebd {

uint8_t NomiL1CommsOpen(const char* portName, int32_t baudRate, int32_t rate, platform::PortHandle* portHandle,
                        int port, platform::OpenError* why = nullptr);
uint8_t SetReadTimeoutClass(uint32_t handle, uint8_t timeoutClass);
uint8_t PortWrite(uint32_t handle, const uint8_t* data, uint16_t count);
uint8_t PortRead(uint32_t handle, uint8_t* buffer, uint8_t count);
int SetLineBootloader(uint32_t handle);
int SetLineRunDtrOn(uint32_t handle);
int SetLineRunDtrOff(uint32_t handle);
void SkipBytes(uint32_t handle, const uint8_t* data, uint8_t count);
void FlushSkipBuffer(uint32_t handle);
void SkipPendingInput(uint32_t handle);

// Time-out value of a class (ms per requested byte) for a session rate.
uint32_t TimeoutForClass(uint8_t timeoutClass, int32_t rate);

}  // namespace ebd
