// The local calibration store: per port, one record of each calibration item
// in the byte layout the module expects, filled by the store operations and
// written to the module by WWriteAllStoredValuesToModuleNVRAM.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ebd::calstore {

// Calibration item ids the store handles; an item's id is also its bit number
// in the port's storedCalibrationItems.
enum ItemId : uint8_t {
    kAgcGainWords = 0,
    kAgcAccurateValues = 1,
    kAfc = 2,
    kGmskScalingFactors = 3,
    k8pskScalingFactors = 4,
    kAmLoopOffsets = 5,
    kTxIqOffsets = 6,
    kTxDacOffsets = 7,
    kTxDcAutocalibrationIqOffsets = 18,
};

// Ids 0 to 18 are checked, rescued and written.
inline constexpr uint8_t kItemCount = 19;
// Items with ids from here on are the module's to save and restore.
inline constexpr uint16_t kLastCalItem = 19;
// The largest record.
inline constexpr size_t kMaxRecordSize = 256;
// An I or Q value that marks an offset pair as not stored (or not valid).
inline constexpr int kNotStored = 127;

// Size in bytes of item `id`'s record; 0 for ids the store has no record for.
size_t ItemSize(uint8_t id);
// Copies the byte image of item `id` of port `port` (1 to 32) into `out`
// (room for kMaxRecordSize bytes); returns its size, 0 for ids without a record.
size_t ItemImage(int port, uint8_t id, uint8_t* out);

}  // namespace ebd::calstore

namespace ebd {

// WReadNVRAMCalibrationItem with its trace lines, also handing over the status
// of the read's confirm (see EBDRPCL1ALNvRamReadCal): the write-back needs it to
// tell an item the module says it does not have from a read that failed.
// Defined with the other NVRAM operations.
int32_t ReadNVRAMCalibrationItem(uint32_t handle, uint8_t calibrationId, uint8_t* pData, uint16_t dataSize,
                                 uint16_t* pBytesRead, uint8_t* confirmStatus);

}  // namespace ebd
