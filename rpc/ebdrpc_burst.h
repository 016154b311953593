// Remote calls that configure the transmitter's bursts, power ramp, TDMA frame,
// GPRS slots and multiframes. Each returns a 16-bit error code
// (rpc/nomierr.h). A null input pointer gives kRpcNotSent: nothing is sent.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ebd {

inline constexpr size_t kBurstDataWords = 30;
inline constexpr size_t kPowerRampWords = 32;
inline constexpr size_t kSlotDefinitionSize = 64;
inline constexpr size_t kFrameDefinitionSize = 22;

// burstData: 30 words, sent as they are whatever the modulation.
uint16_t EBDRPCCalDevGsmSetBurstData(uint32_t handle, const uint16_t* burstData);
// burstOn: 4 bytes; channel, gain: 4 words each. The confirm must echo burstType.
uint16_t EBDRPCCalDevGsmSetBurst(uint32_t handle, uint8_t burstType, const uint8_t* burstOn,
                                 const uint16_t* channel, const uint16_t* gain, uint8_t burst2Type,
                                 uint8_t timingAdvance, uint8_t rachData, uint8_t powerLevel);
uint16_t EBDRPCCalDevGsmRampScale(uint32_t handle, uint16_t scaleFactor);
// ramp: 32 words.
uint16_t EBDRPCCalDevGsmSetPowerRamp(uint32_t handle, const uint16_t* ramp);
// slotDefinition: the 64-byte record, sent unchanged (and dumped to the trace first).
uint16_t EBDRPCCalDevGsmSlotDefine(uint32_t handle, uint8_t slotNumber, const uint8_t* slotDefinition);
// frameDefinition: the 22-byte record, sent unchanged (and dumped to the trace first).
uint16_t EBDRPCCalDevGsmFrameDefine(uint32_t handle, uint8_t frameNumber, const uint8_t* frameDefinition);
uint16_t EBDRPCCalDevGsmFrameTiming(uint32_t handle, uint8_t frameNumber, int16_t frameAdvance,
                                    int16_t rxAdvance, int16_t txAdvance, int16_t monAdvance);
uint16_t EBDRPCCalDevGsmFrameUse(uint32_t handle, uint8_t mode);

}  // namespace ebd
