// The calibration check as a whole operation: the check call with its narration,
// the last error on failure, and the answer whether the item exists. The public
// WCheckNVRAMCalibrationItem is this operation; the band-mode change uses it to
// ask whether a module that sent no confirm is still alive.
#include "core/ebd_core.h"
#include "rpc/ebdrpc_nvram.h"

namespace ebd {

bool CheckNVRAMCalibrationItem(uint32_t handle, uint8_t calibrationId, uint8_t* pNVRAMBlockExists) {
    Trace(handle, "(EBD ) WCheckNVRAMCalibrationItem(calibrationId=%d)", calibrationId);
    TraceLine(handle, "(EBD ) WCheckNVRAMCalibrationItem: call EBDRPCL1ALNvRamCheckCal()...");
    int8_t blockStatus = 0;
    const uint16_t error = EBDRPCL1ALNvRamCheckCal(handle, calibrationId, &blockStatus);
    if (error != 0) {
        Fail(handle, error,
             "(EBD ) WCheckNVRAMCalibrationItem: EBDRPCL1ALNvRamCheckCalReq fails with error %d", error);
        return false;
    }
    Trace(handle, "(EBD ) WCheckNVRAMCalibrationItem: EBDRPCL1ALNVRAMCheckCal: rets *blockStatus %d",
          blockStatus);
    *pNVRAMBlockExists = blockStatus == kBlockExists ? 1 : 0;
    Trace(handle, "(EBD ) WCheckNVRAMCalibrationItem: rets *pNVRAMBlockExists %d", *pNVRAMBlockExists);
    return true;
}

}  // namespace ebd
