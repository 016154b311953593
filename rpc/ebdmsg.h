// Command ids of the request messages; each confirm is its request's id plus one.
#pragma once

#include <cstdint>

namespace ebd::msg {

inline constexpr uint16_t kGetVersion = 1;
inline constexpr uint16_t kCalDevGsmFinish = 9;
inline constexpr uint16_t kCalDevGsmSetAfcDac = 11;
inline constexpr uint16_t kCalDevGsmFreqOffsetMeas = 13;
inline constexpr uint16_t kCalDevGsmGainProgram = 15;
inline constexpr uint16_t kCalDevGsmRssi = 17;
inline constexpr uint16_t kCalDevGsmDcOffset = 19;
inline constexpr uint16_t kCalDevGsmSetBandMode = 21;
inline constexpr uint16_t kCalDevGsmSetBurstData = 23;
inline constexpr uint16_t kCalDevGsmSetBurst = 25;
inline constexpr uint16_t kCalDevGsmRampScale = 27;
inline constexpr uint16_t kCalDevGsmSetPowerRamp = 29;
inline constexpr uint16_t kCalDevGsmRxControl = 31;
inline constexpr uint16_t kCalDevGsmLoopBack = 33;
inline constexpr uint16_t kCalDevGsmLoopBackData = 35;
inline constexpr uint16_t kCalDevGsmSlotDefine = 37;
inline constexpr uint16_t kCalDevGsmFrameDefine = 39;
inline constexpr uint16_t kCalDevGsmFrameTiming = 41;
inline constexpr uint16_t kCalDevGsmFrameUse = 43;
inline constexpr uint16_t kCalDevGsmConstTx = 45;
inline constexpr uint16_t kCalDevGsmBBCRegister = 47;
inline constexpr uint16_t kL1ALNvRamRead = 49;
inline constexpr uint16_t kL1ALNvRamWrite = 51;
inline constexpr uint16_t kL1ALNvRamDelete = 53;
inline constexpr uint16_t kL1ALNvRamErase = 55;
inline constexpr uint16_t kL1ALNvRamReadCal = 57;
inline constexpr uint16_t kL1ALNvRamWriteCal = 59;
inline constexpr uint16_t kL1ALNvRamEraseCal = 61;
inline constexpr uint16_t kSaveAllOther = 63;
inline constexpr uint16_t kRestoreAllOther = 65;
inline constexpr uint16_t kSwitchOff = 67;
inline constexpr uint16_t kVaneMmWriteBandMode = 69;
inline constexpr uint16_t kFlashSerialNumberRead = 71;
inline constexpr uint16_t kGetSingleIE = 73;
inline constexpr uint16_t kResetIMEIMode = 75;
inline constexpr uint16_t kReadSerialNumber = 77;
inline constexpr uint16_t kReadIMEI = 79;
inline constexpr uint16_t kInitIMEI = 81;
inline constexpr uint16_t kFreezeIMEI = 83;
inline constexpr uint16_t kSetSecurityMode = 85;
inline constexpr uint16_t kRequestChallenge = 87;
inline constexpr uint16_t kSendResponse = 89;
inline constexpr uint16_t kGetMobileInfo = 91;
inline constexpr uint16_t kSendAtCommand = 93;
inline constexpr uint16_t kGetGainCodeTable = 95;
inline constexpr uint16_t kSetPrechargeValue = 97;
inline constexpr uint16_t kGetCurrentOperationMode = 99;
inline constexpr uint16_t kSetCurrentOperationMode = 101;
inline constexpr uint16_t kVaneMmReadBandMode = 103;
inline constexpr uint16_t kYKNvRamReadCal = 105;
inline constexpr uint16_t kSwitchJavaAutoStart = 107;

constexpr uint16_t ConfirmOf(uint16_t request) { return static_cast<uint16_t>(request + 1); }

}  // namespace ebd::msg
