// Remote calls of the NVRAM family and the band-mode change.
#include "rpc/ebdrpc_nvram.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/ebd_core.h"
#include "rpc/ebdmsg.h"
#include "rpc/ebdmsgs.h"
#include "rpc/ebdnomi.h"
#include "rpc/ebdrpc.h"
#include "rpc/nomierr.h"

namespace ebd {

using namespace msg;

namespace {

constexpr int kWriteTries = 5;
// Confirm of a variable-length read: ref, length, status, then the data.
constexpr size_t kReadHeader = 5;
constexpr size_t kUserWriteHeader = 10;
constexpr size_t kCalWriteHeader = 6;

// The status confirm of the write, delete and erase calls: ref, status (0 =
// success), pad. Received with five tries.
uint16_t StatusConfirm(uint32_t handle, uint16_t requestId, const char* call, uint16_t ref, bool compareRef) {
    std::array<uint8_t, 4> confirm{};
    const rpc::Needs needs{call, 3};
    const uint16_t error = compareRef
                               ? rpc::ReceiveConfirm(handle, requestId, confirm, ref, needs, kWriteTries)
                               : rpc::ReceiveWhole(handle, requestId, confirm, needs, kWriteTries);
    if (error != kRpcOk) return error;
    if (Get8(confirm.data(), 2) != 0) return kRpcStatusFailed;
    return kRpcOk;
}

// A request of fixed fields answered by a status confirm.
template <size_t N>
uint16_t StatusCall(uint32_t handle, uint16_t requestId, const char* call, uint16_t ref,
                    const std::array<uint8_t, N>& request, bool compareRef = true) {
    if (!EBDSendToTarget(handle, requestId, request.data(), static_cast<uint16_t>(N))) return kRpcNotSent;
    return StatusConfirm(handle, requestId, call, ref, compareRef);
}

// The three write calls: header, data and one pad byte built in an area of
// their own, released as soon as the request has gone; no version gate.
uint16_t WriteCall(uint32_t handle, uint16_t requestId, const char* call, uint16_t ref, const uint8_t* header,
                   size_t headerSize, const uint8_t* data, uint16_t dataSize) {
    if (data == nullptr && dataSize > 0) return kRpcNotSent;
    const size_t total = headerSize + dataSize + 1;
    // A message carries at most kMaxMessageData bytes: a longer item cannot be sent.
    if (total > kMaxMessageData) return kRpcNotSent;
    bool sent = false;
    {
        rpc::Area request(total);
        if (request.get() == nullptr) return kRpcNoMemory;
        std::memcpy(request.get(), header, headerSize);
        if (dataSize > 0) std::memcpy(request.get() + headerSize, data, dataSize);
        request.get()[total - 1] = 0;
        sent = EBDSendToTarget(handle, requestId, request.get(), static_cast<uint16_t>(total));
    }
    if (!sent) return kRpcNotSent;
    return StatusConfirm(handle, requestId, call, ref, true);
}

// The variable-length reads: a fixed request, then a confirm area sized from
// the caller's capacity. `bytesRead` gets the item's length as the confirm
// gives it; at most `dataSize` bytes are copied. `confirmStatus`, when given,
// gets the status of a confirm that carries the request's reference.
template <size_t N>
uint16_t VariableRead(uint32_t handle, uint16_t requestId, const char* call, uint16_t ref,
                      const std::array<uint8_t, N>& request, uint8_t* data, uint16_t dataSize,
                      uint16_t* bytesRead, uint8_t* confirmStatus = nullptr) {
    if (!EBDSendToTarget(handle, requestId, request.data(), static_cast<uint16_t>(N))) return kRpcNotSent;
    const size_t confirmSize = static_cast<size_t>(dataSize) + kReadHeader;
    rpc::Area confirm(confirmSize);
    if (confirm.get() == nullptr) return kRpcNoMemory;
    const auto readSize = static_cast<uint16_t>(std::min<size_t>(confirmSize, 0xFFFF));
    uint16_t received = 0;
    const uint16_t error = rpc::ReceiveConfirm(handle, requestId, std::span<uint8_t>(confirm.get(), readSize),
                                               ref, {call, kReadHeader}, 1, &received);
    if (error != kRpcOk) return error;
    const uint8_t status = Get8(confirm.get(), 4);
    if (confirmStatus != nullptr) *confirmStatus = status;
    if (status != 0 && status != kReadStatusNoSuchItem) return kRpcStatusFailed;
    const uint16_t length = Get16(confirm.get(), 2);
    const uint16_t copied = std::min(length, dataSize);
    // The bytes handed out must all be there.
    const auto needed = static_cast<uint16_t>(std::min<size_t>(kReadHeader + copied, 0xFFFF));
    if (rpc::CheckLength(handle, {call, needed}, received) != kRpcOk) return kRpcStatusFailed;
    if (data != nullptr && copied > 0) std::memcpy(data, confirm.get() + kReadHeader, copied);
    if (bytesRead != nullptr) *bytesRead = length;
    return kRpcOk;
}

// The calibration checks: one byte of the item is read, and the confirm's
// status tells whether the item exists.
uint16_t CheckCall(uint32_t handle, uint16_t requestId, const char* call, uint16_t ref,
                   const std::array<uint8_t, 6>& request, int8_t* blockStatus) {
    if (!EBDSendToTarget(handle, requestId, request.data(), static_cast<uint16_t>(request.size())))
        return kRpcNotSent;
    // ref, length, status, pad.
    std::array<uint8_t, 6> confirm{};
    const uint16_t error = rpc::ReceiveConfirm(handle, requestId, confirm, ref, {call, 5});
    if (error != kRpcOk) return error;
    const uint16_t length = Get16(confirm.data(), 2);
    const uint8_t status = Get8(confirm.data(), 4);
    int8_t result = kBlockMissing;
    switch (status) {
        case 0:
            if (length != 1) return kRpcStatusFailed;
            result = kBlockExists;
            break;
        case 1:
        case 2:
            result = kBlockMissing;
            break;
        case 4:
            result = kBlockUnknown;
            break;
        default:
            return kRpcBadCheckStatus;
    }
    if (blockStatus != nullptr) *blockStatus = result;
    return kRpcOk;
}

}  // namespace

// ---- User items -------------------------------------------------------------

uint16_t EBDRPCL1ALNvRamRead(uint32_t handle, uint32_t userId, uint16_t key, uint8_t* data, uint16_t dataSize,
                             uint16_t* bytesRead) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 12> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, key);
    Put32(request.data(), 4, userId);
    Put16(request.data(), 8, dataSize);
    return VariableRead(handle, kL1ALNvRamRead, "EBDRPCL1ALNvRamRead", ref, request, data, dataSize,
                        bytesRead);
}

uint16_t EBDRPCL1ALNvRamWrite(uint32_t handle, uint32_t userId, uint16_t key, const uint8_t* data,
                              uint16_t dataSize) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, kUserWriteHeader> header{};
    Put16(header.data(), 0, ref);
    Put16(header.data(), 2, key);
    Put32(header.data(), 4, userId);
    Put16(header.data(), 8, dataSize);
    return WriteCall(handle, kL1ALNvRamWrite, "EBDRPCL1ALNvRamWrite", ref, header.data(), header.size(), data,
                     dataSize);
}

uint16_t EBDRPCL1ALNvRamDelete(uint32_t handle, uint32_t userId, uint16_t key) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 8> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, key);
    Put32(request.data(), 4, userId);
    return StatusCall(handle, kL1ALNvRamDelete, "EBDRPCL1ALNvRamDelete", ref, request);
}

uint16_t EBDRPCL1ALNvRamErase(uint32_t handle) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 2> request{};
    Put16(request.data(), 0, ref);
    return StatusCall(handle, kL1ALNvRamErase, "EBDRPCL1ALNvRamErase", ref, request);
}

// ---- Calibration items ------------------------------------------------------

uint16_t EBDRPCL1ALNvRamCheckCal(uint32_t handle, uint8_t calibrationId, int8_t* blockStatus) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 6> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, 1);
    Put8(request.data(), 4, calibrationId);
    return CheckCall(handle, kL1ALNvRamReadCal, "EBDRPCL1ALNvRamCheckCal", ref, request, blockStatus);
}

uint16_t EBDRPCL1ALNvRamReadCal(uint32_t handle, uint8_t calibrationId, uint8_t* data, uint16_t dataSize,
                                uint16_t* bytesRead) {
    return EBDRPCL1ALNvRamReadCal(handle, calibrationId, data, dataSize, bytesRead, nullptr);
}

uint16_t EBDRPCL1ALNvRamReadCal(uint32_t handle, uint8_t calibrationId, uint8_t* data, uint16_t dataSize,
                                uint16_t* bytesRead, uint8_t* confirmStatus) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 6> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, dataSize);
    Put8(request.data(), 4, calibrationId);
    return VariableRead(handle, kL1ALNvRamReadCal, "EBDRPCL1ALNvRamReadCal", ref, request, data, dataSize,
                        bytesRead, confirmStatus);
}

uint16_t EBDRPCL1ALNvRamWriteCal(uint32_t handle, uint8_t calibrationId, const uint8_t* data,
                                 uint16_t dataSize) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, kCalWriteHeader> header{};
    Put16(header.data(), 0, ref);
    Put16(header.data(), 2, calibrationId);
    Put16(header.data(), 4, dataSize);
    return WriteCall(handle, kL1ALNvRamWriteCal, "EBDRPCL1ALNvRamWriteCal", ref, header.data(), header.size(),
                     data, dataSize);
}

uint16_t EBDRPCL1ALNvRamEraseCal(uint32_t handle) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 2> request{};
    Put16(request.data(), 0, ref);
    // The module's confirm of this erase is taken whatever its reference.
    return StatusCall(handle, kL1ALNvRamEraseCal, "EBDRPCL1ALNvRamEraseCal", ref, request, false);
}

uint16_t EBDRPCSaveAllOther(uint32_t handle, uint16_t lastCalItem) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, lastCalItem);
    return StatusCall(handle, kSaveAllOther, "EBDRPCSaveAllOther", ref, request);
}

uint16_t EBDRPCRestoreAllOther(uint32_t handle, uint16_t lastCalItem) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, lastCalItem);
    return StatusCall(handle, kRestoreAllOther, "EBDRPCRestoreAllOther", ref, request);
}

uint16_t EBDRPCYKNvRamCheckCal(uint32_t handle, uint16_t calibrationId, int8_t* blockStatus) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 6> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, 1);
    Put16(request.data(), 4, calibrationId);
    return CheckCall(handle, kYKNvRamReadCal, "EBDRPCYKNvRamCheckCal", ref, request, blockStatus);
}

uint16_t EBDRPCYKNvRamReadCal(uint32_t handle, uint16_t calibrationId, uint8_t* data, uint16_t dataSize,
                              uint16_t* bytesRead) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 6> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, dataSize);
    Put16(request.data(), 4, calibrationId);
    return VariableRead(handle, kYKNvRamReadCal, "EBDRPCYKNvRamReadCal", ref, request, data, dataSize,
                        bytesRead);
}

uint16_t EBDRPCYKNvRamWriteCal(uint32_t handle, uint16_t calibrationId, const uint8_t* data,
                               uint16_t dataSize) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, kCalWriteHeader> header{};
    Put16(header.data(), 0, ref);
    Put16(header.data(), 2, calibrationId);
    Put16(header.data(), 4, dataSize);
    // The module writes calibration items of either id width through one request.
    return WriteCall(handle, kL1ALNvRamWriteCal, "EBDRPCYKNvRamWriteCal", ref, header.data(), header.size(),
                     data, dataSize);
}

// ---- Band-mode change -----------------------------------------------------------

uint16_t EBDRPCVaneBandModeChange(uint32_t handle, uint8_t bandMode) {
    const uint16_t refWrite = EBDNextReference();
    const uint16_t refRead = EBDNextReference();
    // Each pass writes the mode and reads it back; every read counts against
    // kMaxBandModeReads, so a module that never reports the mode cannot keep
    // the caller here.
    int reads = 0;
    const auto giveUp = [&]() {
        Trace(handle, "(RPC ) EBDRPCVaneBandModeChange: fail - bandmode %d not reported after %d reads",
              bandMode, reads);
        return kRpcStatusFailed;
    };
    for (;;) {
        if (reads >= kMaxBandModeReads) return giveUp();
        TraceLine(handle, "(RPC ) EBDRPCVaneBandModeChange: send EBDRequestVaneMmWriteBandMode...");
        GetTargetVersion(handle);
        std::array<uint8_t, 4> write{};
        Put16(write.data(), 0, refWrite);
        Put8(write.data(), 2, bandMode);
        if (!EBDSendToTarget(handle, kVaneMmWriteBandMode, write.data(), write.size())) return kRpcNotSent;
        std::array<uint8_t, 4> written{};
        if (!rpc::Receive(handle, ConfirmOf(kVaneMmWriteBandMode), written.data(), written.size()))
            TraceLine(handle, "(RPC ) EBDRPCVaneBandModeChange: no EBDConfirmVaneMmWriteBandMode recvd");

        uint16_t readResult = 0;
        uint8_t current = 0;
        do {
            if (reads >= kMaxBandModeReads) return giveUp();
            ++reads;
            GetTargetVersion(handle);
            TraceLine(handle, "(RPC ) EBDRPCVaneBandModeChange: send EBDRequestVaneMmReadBandMode...");
            std::array<uint8_t, 2> read{};
            Put16(read.data(), 0, refRead);
            if (!EBDSendToTarget(handle, kVaneMmReadBandMode, read.data(), read.size())) {
                TraceLine(
                    handle,
                    "(RPC ) EBDRPCVaneBandModeChange: fail - could not send EBDRequestVaneMmReadBandMode");
                return kRpcNotSent;
            }
            // Confirm: read result (not 0 when the read succeeded), band mode, pad.
            std::array<uint8_t, 4> answer{};
            uint16_t received = 0;
            if (rpc::Receive(handle, ConfirmOf(kVaneMmReadBandMode), answer.data(), answer.size(), 1,
                             &received)) {
                // A cut answer would read as a mode the module never reported.
                if (rpc::CheckLength(handle, {"EBDRPCVaneBandModeChange", 3}, received) != kRpcOk)
                    return kRpcStatusFailed;
                readResult = Get16(answer.data(), 0);
                current = Get8(answer.data(), 2);
            } else {
                TraceLine(handle, "(RPC ) EBDRPCVaneBandModeChange: no EBDConfirmVaneMmReadBandMode recvd");
                uint8_t exists = 0;
                if (!CheckNVRAMCalibrationItem(handle, 0, &exists)) {
                    TraceLine(handle, "(RPC ) EBDRPCVaneBandModeChange: fail - module doesn't answer");
                    return kRpcNoConfirm;
                }
                TraceLine(handle, "(RPC ) EBDRPCVaneBandModeChange: module is alive, retry...");
                readResult = 0;
            }
            TraceLine(handle, readResult == 0 ? "(RPC ) EBDRPCVaneBandModeChange: read fails"
                                              : "(RPC ) EBDRPCVaneBandModeChange: read O.K.");
        } while (readResult == 0);

        Trace(handle, "(RPC ) EBDRPCVaneBandModeChange: read gives current bandmode %d, should be %d",
              current, bandMode);
        if (current == bandMode) return kRpcOk;
    }
}

}  // namespace ebd
