// NVRAM item operations: read, write, check, delete and erase user and
// calibration items, the 16-bit calibration ids, and the band-mode change.
#include <algorithm>
#include <cstdio>

#include "lib/calstore.h"
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "rpc/ebdrpc_nvram.h"

namespace ebd {

namespace {

// Ids from here on need the remote calls with 16-bit calibration ids.
constexpr uint16_t kFirstYKId = 256;

// The success lines of the reads. The module may report an item longer than
// the caller's area; only what was copied is dumped.
void TraceRead(uint32_t handle, const char* operation, const uint8_t* pData, uint16_t dataSize,
               uint16_t bytesRead) {
    Trace(handle, "(EBD ) %s: rets *pBytesRead %d", operation, bytesRead);
    char title[128];
    std::snprintf(title, sizeof title, "(EBD ) %s: rets *pData ->", operation);
    TraceHexBytes(handle, title, pData, std::min(bytesRead, dataSize));
}

void TraceData(uint32_t handle, const char* operation, const uint8_t* pData, uint16_t dataSize) {
    char title[128];
    std::snprintf(title, sizeof title, "(EBD ) %s: *pData ->", operation);
    TraceHexBytes(handle, title, pData, dataSize);
}

bool DataOk(const void* pData, uint16_t dataSize) {
    return pData != nullptr || dataSize == 0;
}

}  // namespace

}  // namespace ebd

using namespace ebd;

// ---- User items ---------------------------------------------------------------

extern "C" int32_t WReadNVRAMUserItem(EBDHandle handle, uint32_t userId, uint16_t key, uint8_t* pData,
                                      uint16_t dataSize, uint16_t* pBytesRead) {
    if (!HandleValid(handle) || !DataOk(pData, dataSize) || pBytesRead == nullptr) return 0;
    constexpr const char* kName = "WReadNVRAMUserItem";
    Trace(handle, "(EBD ) WReadNVRAMUserItem(userId=%d, dataSize=%d)", static_cast<int32_t>(userId),
          dataSize);
    TraceLine(handle, "(EBD ) WReadNVRAMUserItem: call EBDRPCL1ALNvRamRead()...");
    const uint16_t error = EBDRPCL1ALNvRamRead(handle, userId, key, pData, dataSize, pBytesRead);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCL1ALNvRamReadReq", error);
    TraceRead(handle, kName, pData, dataSize, *pBytesRead);
    return CallDone(handle, kName);
}

extern "C" int32_t WWriteNVRAMUserItem(EBDHandle handle, uint32_t userId, uint16_t key, const uint8_t* pData,
                                       uint16_t dataSize) {
    if (!HandleValid(handle) || !DataOk(pData, dataSize)) return 0;
    constexpr const char* kName = "WWriteNVRAMUserItem";
    Trace(handle, "(EBD ) WWriteNVRAMUserItem(userId=%d, dataSize=%d)", static_cast<int32_t>(userId),
          dataSize);
    TraceData(handle, kName, pData, dataSize);
    TraceLine(handle, "(EBD ) WWriteNVRAMUserItem: call EBDRPCL1ALNvRamWrite()...");
    const uint16_t error = EBDRPCL1ALNvRamWrite(handle, userId, key, pData, dataSize);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCL1ALNvRamWriteReq", error);
    return CallDone(handle, kName);
}

extern "C" int32_t WDeleteNVRAMUserItem(EBDHandle handle, uint32_t userId, uint16_t key) {
    if (!HandleValid(handle)) return 0;
    constexpr const char* kName = "WDeleteNVRAMUserItem";
    Trace(handle, "(EBD ) WDeleteNVRAMUserItem(userId=%d)", static_cast<int32_t>(userId));
    TraceLine(handle, "(EBD ) WDeleteNVRAMUserItem: call EBDRPCL1ALNvRamDelete()...");
    const uint16_t error = EBDRPCL1ALNvRamDelete(handle, userId, key);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCL1ALNvRamDeleteReq", error);
    return CallDone(handle, kName);
}

extern "C" int32_t WEraseAllNVRAMUserItems(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    constexpr const char* kName = "WEraseAllNVRAMUserItems";
    TraceLine(handle, "(EBD ) WEraseAllNVRAMUserItems()");
    TraceLine(handle, "(EBD ) WEraseAllNVRAMUserItems: call EBDRPCL1ALNvRamErase()...");
    const uint16_t error = EBDRPCL1ALNvRamErase(handle);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCL1ALNvRamEraseReq", error);
    return CallDone(handle, kName);
}

// ---- Calibration items ----------------------------------------------------------

int32_t ebd::ReadNVRAMCalibrationItem(uint32_t handle, uint8_t calibrationId, uint8_t* pData,
                                      uint16_t dataSize, uint16_t* pBytesRead, uint8_t* confirmStatus) {
    if (!HandleValid(handle) || !DataOk(pData, dataSize) || pBytesRead == nullptr) return 0;
    constexpr const char* kName = "WReadNVRAMCalibrationItem";
    Trace(handle, "(EBD ) WReadNVRAMCalibrationItem(calibrationId=%d, dataSize=%d)", calibrationId, dataSize);
    TraceLine(handle, "(EBD ) WReadNVRAMCalibrationItem: call EBDRPCL1ALNvRamReadCal()...");
    const uint16_t error =
        EBDRPCL1ALNvRamReadCal(handle, calibrationId, pData, dataSize, pBytesRead, confirmStatus);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCL1ALNvRamReadCal", error);
    TraceRead(handle, kName, pData, dataSize, *pBytesRead);
    return CallDone(handle, kName);
}

extern "C" int32_t WReadNVRAMCalibrationItem(EBDHandle handle, uint8_t calibrationId, uint8_t* pData,
                                             uint16_t dataSize, uint16_t* pBytesRead) {
    return ReadNVRAMCalibrationItem(handle, calibrationId, pData, dataSize, pBytesRead, nullptr);
}

extern "C" int32_t WCheckNVRAMCalibrationItem(EBDHandle handle, uint8_t calibrationId,
                                              uint8_t* pNVRAMBlockExists) {
    if (!HandleValid(handle) || pNVRAMBlockExists == nullptr) return 0;
    return CheckNVRAMCalibrationItem(handle, calibrationId, pNVRAMBlockExists) ? 1 : 0;
}

extern "C" int32_t WWriteNVRAMCalibrationItem(EBDHandle handle, uint8_t calibrationId, const uint8_t* pData,
                                              uint16_t dataSize) {
    if (!HandleValid(handle)) {
        // The port the handle's port field names learns of the bad handle.
        const int port = PortOfHandle(handle);
        if (port >= 1 && port <= kMaxPort) Port(port).lastError = EBD_ERR_INVALID_HANDLE;
        return 0;
    }
    if (!DataOk(pData, dataSize)) return 0;
    constexpr const char* kName = "WWriteNVRAMCalibrationItem";
    Trace(handle, "(EBD ) WWriteNVRAMCalibrationItem(calibrationId=%d, dataSize=%d)", calibrationId,
          dataSize);
    TraceData(handle, kName, pData, dataSize);
    TraceLine(handle, "(EBD ) WWriteNVRAMCalibrationItem: call EBDRPCL1ALNvRamWriteCal()...");
    const uint16_t error = EBDRPCL1ALNvRamWriteCal(handle, calibrationId, pData, dataSize);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCL1ALNvRamWriteCalReq", error);
    return CallDone(handle, kName);
}

extern "C" int32_t WEraseAllNVRAMCalibrationItems(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    constexpr const char* kName = "WEraseAllNVRAMCalibrationItems";
    TraceLine(handle, "(EBD ) WEraseAllNVRAMCalibrationItems()");
    TraceLine(handle, "(EBD ) WEraseAllNVRAMCalibrationItems: call EBDRPCL1ALNvRamEraseCal()...");
    const uint16_t error = EBDRPCL1ALNvRamEraseCal(handle);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCL1ALNvRamEraseCalReq", error);
    return CallDone(handle, kName);
}

extern "C" int32_t WSaveAllOtherNVRAMCalibrationItems(EBDHandle handle, uint16_t lastCalItem) {
    if (!HandleValid(handle)) return 0;
    constexpr const char* kName = "WSaveAllOtherNVRAMCalibrationItems";
    Trace(handle, "(EBD ) WSaveAllOtherNVRAMCalibrationItems(lastCalItem=%d)", lastCalItem);
    TraceLine(handle, "(EBD ) WSaveAllOtherNVRAMCalibrationItems call EBDRPCSaveAllOther()...");
    const uint16_t error = EBDRPCSaveAllOther(handle, lastCalItem);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCSaveAllOther", error);
    return CallDone(handle, kName);
}

extern "C" int32_t WRestoreAllOtherNVRAMCalibrationItems(EBDHandle handle, uint16_t lastCalItem) {
    if (!HandleValid(handle)) return 0;
    constexpr const char* kName = "WRestoreAllOtherNVRAMCalibrationItems";
    Trace(handle, "(EBD ) WRestoreAllOtherNVRAMCalibrationItems(lastCalItem=%d)", lastCalItem);
    TraceLine(handle, "(EBD ) WRestoreAllOtherNVRAMCalibrationItems call EBDRPCRestoreAllOther()...");
    const uint16_t error = EBDRPCRestoreAllOther(handle, lastCalItem);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCRestoreAllOther", error);
    return CallDone(handle, kName);
}

// ---- Calibration items with 16-bit ids ------------------------------------------------

extern "C" int32_t WCheckNVRAMYKCalibrationItem(EBDHandle handle, uint16_t calibrationId,
                                                uint8_t* pNVRAMBlockExists) {
    if (!HandleValid(handle) || pNVRAMBlockExists == nullptr) return 0;
    Trace(handle, "(EBD ) WCheckNVRAMYKCalibrationItem(calibrationId=%d)", calibrationId);
    if (calibrationId < kFirstYKId) {
        TraceLine(handle, "(EBD ) WCheckNVRAMYKCalibrationItem mapped to WCheckNVRAMCalibrationItem...");
        return WCheckNVRAMCalibrationItem(handle, static_cast<uint8_t>(calibrationId), pNVRAMBlockExists);
    }
    TraceLine(handle, "(EBD ) WCheckNVRAMYKCalibrationItem: call EBDRPCYKNVRAMCheckCal()...");
    int8_t blockStatus = 0;
    const uint16_t error = EBDRPCYKNvRamCheckCal(handle, calibrationId, &blockStatus);
    if (error != 0)
        return CallFailed(handle, "WCheckNVRAMYKCalibrationItem", "EBDRPCYKNvRamCheckCalReq", error);
    Trace(handle, "(EBD ) WCheckNVRAMYKCalibrationItem: EBDRPCYKNVRAMCheckCal rets *blockStatus %d",
          blockStatus);
    *pNVRAMBlockExists = blockStatus == kBlockExists ? 1 : 0;
    Trace(handle, "(EBD ) WCheckNVRAMYKCalibrationItem: rets *pNVRAMBlockExists %d", *pNVRAMBlockExists);
    return 1;
}

extern "C" int32_t WReadNVRAMYKCalibrationItem(EBDHandle handle, uint16_t calibrationId, uint8_t* pData,
                                               uint16_t dataSize, uint16_t* pBytesRead) {
    if (!HandleValid(handle) || !DataOk(pData, dataSize) || pBytesRead == nullptr) return 0;
    constexpr const char* kName = "WReadNVRAMYKCalibrationItem";
    Trace(handle, "(EBD ) WReadNVRAMYKCalibrationItem(calibrationId=%d, dataSize=%d)", calibrationId,
          dataSize);
    if (calibrationId < kFirstYKId) {
        TraceLine(handle, "(EBD ) WReadNVRAMYKCalibrationItem mapped to WReadNVRAMCalibrationItem...");
        return WReadNVRAMCalibrationItem(handle, static_cast<uint8_t>(calibrationId), pData, dataSize,
                                         pBytesRead);
    }
    TraceLine(handle, "(EBD ) WReadNVRAMYKCalibrationItem: call EBDRPCYKNvRamReadCal()...");
    const uint16_t error = EBDRPCYKNvRamReadCal(handle, calibrationId, pData, dataSize, pBytesRead);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCYKNvRamReadCal", error);
    TraceRead(handle, kName, pData, dataSize, *pBytesRead);
    return CallDone(handle, kName);
}

extern "C" int32_t WWriteNVRAMYKCalibrationItem(EBDHandle handle, uint16_t calibrationId,
                                                const uint8_t* pData, uint16_t dataSize) {
    if (!HandleValid(handle) || !DataOk(pData, dataSize)) return 0;
    constexpr const char* kName = "WWriteNVRAMYKCalibrationItem";
    Trace(handle, "(EBD ) WWriteNVRAMYKCalibrationItem(calibrationId=%d, dataSize=%d)", calibrationId,
          dataSize);
    if (calibrationId < kFirstYKId) {
        TraceLine(handle, "(EBD ) WWriteNVRAMYKCalibrationItem mapped to WWriteNVRAMCalibrationItem...");
        return WWriteNVRAMCalibrationItem(handle, static_cast<uint8_t>(calibrationId), pData, dataSize);
    }
    TraceData(handle, kName, pData, dataSize);
    TraceLine(handle, "(EBD ) WWriteNVRAMYKCalibrationItem: call EBDRPCYKNvRamWriteCal()...");
    const uint16_t error = EBDRPCYKNvRamWriteCal(handle, calibrationId, pData, dataSize);
    if (error != 0) return CallFailed(handle, kName, "EBDRPCL1ALNvRamWriteCalReq", error);
    return CallDone(handle, kName);
}

// ---- Band mode ----------------------------------------------------------------------

extern "C" int32_t WSetVaneBandMode(EBDHandle handle, uint8_t bandMode) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetVaneBandMode(bandMode=%d)", bandMode);
    const uint16_t error = EBDRPCVaneBandModeChange(handle, bandMode);
    if (error != 0) return CallFailed(handle, "WSetVaneBandMode", "EBDRPCVaneBandModeChange", error);
    return CallDone(handle, "WSetVaneBandMode");
}
