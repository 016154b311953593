// Remote calls of radio test and measurement: AFC, gain programming, RSSI, DC
// offsets, band mode, receiver control, loopback, constant transmission,
// baseband registers, precharge and the gain-code table.
#include "rpc/ebdrpc_service.h"

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

constexpr size_t kBbcEntries = 8;
constexpr uint8_t kLoopBackSuccess = 1;
constexpr uint16_t kGainCodeTableSuccess = 1;

}  // namespace

uint16_t EBDRPCCalDevGsmSetAfcDac(uint32_t handle, uint16_t value) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, value);
    std::array<uint8_t, 2> confirm{};
    return rpc::Exchange(handle, kCalDevGsmSetAfcDac, request, confirm, {"EBDRPCCalDevGsmSetAfcDac", 2});
}

uint16_t EBDRPCCalDevGsmFreqOffsetMeas(uint32_t handle, uint16_t arfcn, uint16_t value,
                                       uint8_t* freqBurstStatus, int16_t* frequencyOffset) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 6> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, arfcn);
    Put16(request.data(), 4, value);
    // ref, frequency offset, burst status, pad.
    std::array<uint8_t, 6> confirm{};
    const uint16_t error = rpc::Exchange(handle, kCalDevGsmFreqOffsetMeas, request, confirm,
                                         {"EBDRPCCalDevGsmFreqOffsetMeas", 5});
    if (error != kRpcOk) return error;
    if (frequencyOffset != nullptr) *frequencyOffset = static_cast<int16_t>(Get16(confirm.data(), 2));
    if (freqBurstStatus != nullptr) *freqBurstStatus = Get8(confirm.data(), 4);
    return kRpcOk;
}

uint16_t EBDRPCCalDevGsmGainProgram(uint32_t handle, uint8_t band, uint16_t value, uint8_t gainIndex,
                                    uint8_t operation, uint16_t* result) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 8> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, value);
    Put8(request.data(), 4, gainIndex);
    Put8(request.data(), 5, band);
    Put8(request.data(), 6, operation);
    // ref, status, value.
    std::array<uint8_t, 6> confirm{};
    const uint16_t error =
        rpc::Exchange(handle, kCalDevGsmGainProgram, request, confirm, {"EBDRPCCalDevGsmGainProgram", 6});
    if (error != kRpcOk) return error;
    if (Get16(confirm.data(), 2) != 0) return kRpcStatusFailed;
    if (result != nullptr) *result = Get16(confirm.data(), 4);
    return kRpcOk;
}

uint16_t EBDRPCCalDevGsmRssi(uint32_t handle, uint16_t channel, uint16_t gain, uint8_t measurementMode,
                             int16_t* rssi) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 8> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, channel);
    Put16(request.data(), 4, gain);
    Put8(request.data(), 6, measurementMode);
    const uint16_t sent = rpc::SendRequest(handle, kCalDevGsmRssi, request);
    if (sent != kRpcOk) return sent;
    // Confirms of earlier measurements may still be on their way: pass over
    // those with another reference, but not for ever.
    std::array<uint8_t, 6> confirm{};
    bool matched = false;
    for (int foreign = 0; foreign <= kMaxForeignRssiConfirms && !matched; ++foreign) {
        if (foreign > 0)
            Trace(handle, "(RPC ) EBDRPCCalDevGsmRssi: invalid reference received, try again...");
        confirm.fill(0);
        // ref, channel, RSSI. A confirm of ours that is cut ends the call.
        const uint16_t error =
            rpc::ReceiveConfirm(handle, kCalDevGsmRssi, confirm, ref, {"EBDRPCCalDevGsmRssi", 6});
        if (error == kRpcNoConfirm || error == kRpcStatusFailed) return error;
        matched = error == kRpcOk;
    }
    if (!matched) return kRpcBadReference;
    if (Get16(confirm.data(), 2) != channel) return kRpcStatusFailed;
    if (rssi != nullptr) *rssi = static_cast<int16_t>(Get16(confirm.data(), 4));
    return kRpcOk;
}

uint16_t EBDRPCCalDevGsmDcOffset(uint32_t handle, uint8_t measure, uint16_t* offsets) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put8(request.data(), 2, measure);
    std::array<uint8_t, 10> confirm{};
    const uint16_t error =
        rpc::Exchange(handle, kCalDevGsmDcOffset, request, confirm, {"EBDRPCCalDevGsmDcOffset", 10});
    if (error != kRpcOk) return error;
    if (offsets != nullptr)
        for (size_t k = 0; k < 4; ++k) offsets[k] = Get16(confirm.data(), 2 + 2 * k);
    return kRpcOk;
}

uint16_t EBDRPCCalDevGsmSetBandMode(uint32_t handle, uint8_t bandMode) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put8(request.data(), 2, bandMode);
    std::array<uint8_t, 2> confirm{};
    return rpc::Exchange(handle, kCalDevGsmSetBandMode, request, confirm, {"EBDRPCCalDevGsmSetBandMode", 2});
}

uint16_t EBDRPCCalDevGsmRxControl(uint32_t handle, uint8_t control, uint32_t parameter, uint8_t index) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 8> request{};
    Put16(request.data(), 0, ref);
    Put8(request.data(), 2, index);
    Put8(request.data(), 3, control);
    Put32(request.data(), 4, parameter);
    std::array<uint8_t, 2> confirm{};
    return rpc::Exchange(handle, kCalDevGsmRxControl, request, confirm, {"EBDRPCCalDevGsmRxControl", 2});
}

uint16_t EBDRPCCalDevGsmLoopBack(uint32_t handle, uint8_t mode, uint16_t bch, uint16_t tch, uint8_t timeSlot,
                                 uint8_t tsc, uint8_t powerLevel) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 12> request{};
    Put16(request.data(), 0, ref);
    Put8(request.data(), 2, mode);
    Put16(request.data(), 4, bch);
    Put16(request.data(), 6, tch);
    Put8(request.data(), 8, timeSlot);
    Put8(request.data(), 9, tsc);
    Put8(request.data(), 10, powerLevel);
    // ref, status, pad.
    std::array<uint8_t, 4> confirm{};
    const uint16_t error =
        rpc::Exchange(handle, kCalDevGsmLoopBack, request, confirm, {"EBDRPCCalDevGsmLoopBack", 3});
    if (error != kRpcOk) return error;
    return Get8(confirm.data(), 2) == kLoopBackSuccess ? kRpcOk : kRpcStatusFailed;
}

uint16_t EBDRPCCalDevGsmLoopBackData(uint32_t handle, int16_t* timingOffsetQbits, int16_t* freqOffsetHz,
                                     uint16_t* bitErrors, uint16_t* softDecisionTotal, int16_t* rssi) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 2> request{};
    Put16(request.data(), 0, ref);
    // ref, five values, status, pad.
    std::array<uint8_t, 14> confirm{};
    const uint16_t error =
        rpc::Exchange(handle, kCalDevGsmLoopBackData, request, confirm, {"EBDRPCCalDevGsmLoopBackData", 13});
    if (error != kRpcOk) return error;
    if (Get8(confirm.data(), 12) != kLoopBackSuccess) return kRpcStatusFailed;
    if (timingOffsetQbits != nullptr) *timingOffsetQbits = static_cast<int16_t>(Get16(confirm.data(), 2));
    if (freqOffsetHz != nullptr) *freqOffsetHz = static_cast<int16_t>(Get16(confirm.data(), 4));
    if (bitErrors != nullptr) *bitErrors = Get16(confirm.data(), 6);
    if (softDecisionTotal != nullptr) *softDecisionTotal = Get16(confirm.data(), 8);
    if (rssi != nullptr) *rssi = static_cast<int16_t>(Get16(confirm.data(), 10));
    return kRpcOk;
}

uint16_t EBDRPCCalDevGsmConstTx(uint32_t handle, uint8_t mode, uint16_t channel, uint16_t constTxValue,
                                uint32_t aMLoopOffset) {
    const uint16_t ref = EBDNextReference();
    // Offsets 8, 12 and 16 hold three words of 0.
    std::array<uint8_t, 24> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, channel);
    Put32(request.data(), 4, aMLoopOffset);
    Put16(request.data(), 20, constTxValue);
    Put8(request.data(), 22, mode);
    // ref, status, pad.
    std::array<uint8_t, 4> confirm{};
    const uint16_t error =
        rpc::Exchange(handle, kCalDevGsmConstTx, request, confirm, {"EBDRPCCalDevGsmConstTx", 3});
    if (error != kRpcOk) return error;
    return Get8(confirm.data(), 2) == 0 ? kRpcOk : kRpcStatusFailed;
}

uint16_t EBDRPCCalDevGsmBBCRegister(uint32_t handle, uint16_t readWriteMask, const uint16_t* addresses,
                                    const uint16_t* values, uint16_t* retValues) {
    const uint16_t ref = EBDNextReference();
    if (addresses == nullptr || values == nullptr) return kRpcNotSent;
    std::array<uint8_t, 4 + 4 * kBbcEntries> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, readWriteMask);
    for (size_t k = 0; k < kBbcEntries; ++k) {
        Put16(request.data(), 4 + 2 * k, addresses[k]);
        Put16(request.data(), 4 + 2 * kBbcEntries + 2 * k, values[k]);
    }
    std::array<uint8_t, 2 + 2 * kBbcEntries> confirm{};
    const uint16_t error =
        rpc::Exchange(handle, kCalDevGsmBBCRegister, request, confirm,
                      {"EBDRPCCalDevGsmBBCRegister", static_cast<uint16_t>(confirm.size())});
    if (error != kRpcOk) return error;
    if (retValues != nullptr)
        for (size_t k = 0; k < kBbcEntries; ++k) retValues[k] = Get16(confirm.data(), 2 + 2 * k);
    return kRpcOk;
}

uint16_t EBDRPCSetPrechargeValue(uint32_t handle, uint16_t value) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, value);
    std::array<uint8_t, 2> confirm{};
    return rpc::Exchange(handle, kSetPrechargeValue, request, confirm, {"EBDRPCSetPrechargeValue", 2});
}

uint16_t EBDRPCGetGainCodeTable(uint32_t handle, uint8_t band, uint8_t gainIndex, uint16_t* gainCodes,
                                uint16_t maxCount, uint16_t* count) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 6> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, maxCount);
    Put8(request.data(), 4, band);
    Put8(request.data(), 5, gainIndex);
    const uint16_t sent = rpc::SendRequest(handle, kGetGainCodeTable, request);
    if (sent != kRpcOk) return sent;
    // Room for maxCount codes behind the header: ref, status, count, codes.
    const size_t confirmSize = 2 * static_cast<size_t>(maxCount) + 8;
    rpc::Area confirm(confirmSize);
    if (confirm.get() == nullptr) return kRpcNoMemory;
    const auto readSize = static_cast<uint16_t>(confirmSize > 0xFFFF ? 0xFFFF : confirmSize);
    constexpr uint16_t kCodesOffset = 6;
    uint16_t received = 0;
    const uint16_t error =
        rpc::ReceiveConfirm(handle, kGetGainCodeTable, std::span<uint8_t>(confirm.get(), readSize), ref,
                            {"EBDRPCGetGainCodeTable", kCodesOffset}, 1, &received);
    if (error != kRpcOk) return error;
    if (Get16(confirm.get(), 2) != kGainCodeTableSuccess) return kRpcStatusFailed;
    uint16_t delivered = Get16(confirm.get(), 4);
    if (delivered > maxCount) delivered = maxCount;
    // The codes handed out must all be there.
    const size_t codesEnd = kCodesOffset + 2 * static_cast<size_t>(delivered);
    const auto needed = static_cast<uint16_t>(std::min<size_t>(codesEnd, 0xFFFF));
    if (rpc::CheckLength(handle, {"EBDRPCGetGainCodeTable", needed}, received) != kRpcOk)
        return kRpcStatusFailed;
    if (gainCodes != nullptr)
        for (size_t k = 0; k < delivered; ++k) gainCodes[k] = Get16(confirm.get(), kCodesOffset + 2 * k);
    if (count != nullptr) *count = delivered;
    return kRpcOk;
}

}  // namespace ebd
