// Remote calls of the NVRAM family: user items (by user id and key),
// calibration items (by calibration id), the save/restore of the module's other
// calibration items around an erase, and the band-mode change.
#pragma once

#include <cstdint>

namespace ebd {

// How many band-mode reads one EBDRPCVaneBandModeChange makes at most, over all
// its passes; a module that never reports the requested mode then gives
// kRpcStatusFailed.
inline constexpr int kMaxBandModeReads = 20;

// Calibration-check results in `blockStatus`: the item exists, does not exist,
// or is not known to the firmware.
inline constexpr int8_t kBlockExists = 1;
inline constexpr int8_t kBlockMissing = 0;
inline constexpr int8_t kBlockUnknown = -1;

// The status of a calibration read's confirm with which the module says that it
// has no such item. The read accepts it (as it does 0), and the calibration
// check reads it as "does not exist".
inline constexpr uint8_t kReadStatusNoSuchItem = 1;

// User items. `data` may be null only when `dataSize` is 0.
uint16_t EBDRPCL1ALNvRamRead(uint32_t handle, uint32_t userId, uint16_t key, uint8_t* data, uint16_t dataSize,
                             uint16_t* bytesRead);
uint16_t EBDRPCL1ALNvRamWrite(uint32_t handle, uint32_t userId, uint16_t key, const uint8_t* data,
                              uint16_t dataSize);
uint16_t EBDRPCL1ALNvRamDelete(uint32_t handle, uint32_t userId, uint16_t key);
uint16_t EBDRPCL1ALNvRamErase(uint32_t handle);

// Calibration items.
uint16_t EBDRPCL1ALNvRamCheckCal(uint32_t handle, uint8_t calibrationId, int8_t* blockStatus);
uint16_t EBDRPCL1ALNvRamReadCal(uint32_t handle, uint8_t calibrationId, uint8_t* data, uint16_t dataSize,
                                uint16_t* bytesRead);
// The same read, also handing over the confirm's status byte in `confirmStatus`
// once a confirm with the request's reference has come; left alone otherwise.
uint16_t EBDRPCL1ALNvRamReadCal(uint32_t handle, uint8_t calibrationId, uint8_t* data, uint16_t dataSize,
                                uint16_t* bytesRead, uint8_t* confirmStatus);
uint16_t EBDRPCL1ALNvRamWriteCal(uint32_t handle, uint8_t calibrationId, const uint8_t* data,
                                 uint16_t dataSize);
uint16_t EBDRPCL1ALNvRamEraseCal(uint32_t handle);
uint16_t EBDRPCSaveAllOther(uint32_t handle, uint16_t lastCalItem);
uint16_t EBDRPCRestoreAllOther(uint32_t handle, uint16_t lastCalItem);

// Calibration items with 16-bit ids.
uint16_t EBDRPCYKNvRamCheckCal(uint32_t handle, uint16_t calibrationId, int8_t* blockStatus);
uint16_t EBDRPCYKNvRamReadCal(uint32_t handle, uint16_t calibrationId, uint8_t* data, uint16_t dataSize,
                              uint16_t* bytesRead);
uint16_t EBDRPCYKNvRamWriteCal(uint32_t handle, uint16_t calibrationId, const uint8_t* data,
                               uint16_t dataSize);

// The calibration check with the narration and last error of the public
// operation WCheckNVRAMCalibrationItem; false when the check call failed.
bool CheckNVRAMCalibrationItem(uint32_t handle, uint8_t calibrationId, uint8_t* pNVRAMBlockExists);

// Writes the band mode and reads it back until the module reports it.
uint16_t EBDRPCVaneBandModeChange(uint32_t handle, uint8_t bandMode);

}  // namespace ebd
