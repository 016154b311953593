// Remote calls of burst, power ramp, TDMA frame, GPRS slot and multiframe
// configuration.
#include "rpc/ebdrpc_burst.h"

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

// Sends a request and takes its confirm of `M` bytes, checking the reference.
template <size_t N, size_t M>
uint16_t Exchange(uint32_t handle, uint16_t requestId, uint16_t ref, const std::array<uint8_t, N>& request,
                  std::array<uint8_t, M>& confirm, const rpc::Needs& needs) {
    if (!EBDSendToTarget(handle, requestId, request.data(), static_cast<uint16_t>(N))) return kRpcNotSent;
    return rpc::ReceiveConfirm(handle, requestId, confirm, ref, needs);
}

// A request whose confirm holds the reference alone.
template <size_t N>
uint16_t RefOnlyCall(uint32_t handle, uint16_t requestId, const char* call, uint16_t ref,
                     const std::array<uint8_t, N>& request) {
    std::array<uint8_t, 2> confirm{};
    return Exchange(handle, requestId, ref, request, confirm, {call, 2});
}

// Slot and frame definitions: confirm ref, status (1 = success), pad.
template <size_t N>
uint16_t DefineCall(uint32_t handle, uint16_t requestId, const char* call, uint16_t ref,
                    const std::array<uint8_t, N>& request) {
    std::array<uint8_t, 4> confirm{};
    const uint16_t error = Exchange(handle, requestId, ref, request, confirm, {call, 3});
    if (error != kRpcOk) return error;
    if (Get8(confirm.data(), 2) != 1) return kRpcStatusFailed;
    return kRpcOk;
}

void PutWords(uint8_t* p, size_t offset, const uint16_t* words, size_t count) {
    for (size_t i = 0; i < count; ++i) Put16(p, offset + 2 * i, words[i]);
}

}  // namespace

uint16_t EBDRPCCalDevGsmSetBurstData(uint32_t handle, const uint16_t* burstData) {
    const uint16_t ref = EBDNextReference();
    if (burstData == nullptr) return kRpcNotSent;
    GetTargetVersion(handle);
    std::array<uint8_t, 2 + 2 * kBurstDataWords> request{};
    Put16(request.data(), 0, ref);
    PutWords(request.data(), 2, burstData, kBurstDataWords);
    return RefOnlyCall(handle, kCalDevGsmSetBurstData, "EBDRPCCalDevGsmSetBurstData", ref, request);
}

uint16_t EBDRPCCalDevGsmSetBurst(uint32_t handle, uint8_t burstType, const uint8_t* burstOn,
                                 const uint16_t* channel, const uint16_t* gain, uint8_t burst2Type,
                                 uint8_t timingAdvance, uint8_t rachData, uint8_t powerLevel) {
    const uint16_t ref = EBDNextReference();
    if (burstOn == nullptr || channel == nullptr || gain == nullptr) return kRpcNotSent;
    GetTargetVersion(handle);
    std::array<uint8_t, 28> request{};
    Put16(request.data(), 0, ref);
    PutWords(request.data(), 2, channel, 4);
    PutWords(request.data(), 10, gain, 4);
    for (size_t i = 0; i < 4; ++i) Put8(request.data(), 18 + i, burstOn[i]);
    Put8(request.data(), 22, burstType);
    Put8(request.data(), 23, burst2Type);
    Put8(request.data(), 24, timingAdvance);
    Put8(request.data(), 25, rachData);
    Put8(request.data(), 26, powerLevel);
    // ref, 2 bytes not used, burst type, pad.
    std::array<uint8_t, 6> confirm{};
    const uint16_t error =
        Exchange(handle, kCalDevGsmSetBurst, ref, request, confirm, {"EBDRPCCalDevGsmSetBurst", 5});
    if (error != kRpcOk) return error;
    if (Get8(confirm.data(), 4) != burstType) return kRpcStatusFailed;
    return kRpcOk;
}

uint16_t EBDRPCCalDevGsmRampScale(uint32_t handle, uint16_t scaleFactor) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, scaleFactor);
    return RefOnlyCall(handle, kCalDevGsmRampScale, "EBDRPCCalDevGsmRampScale", ref, request);
}

uint16_t EBDRPCCalDevGsmSetPowerRamp(uint32_t handle, const uint16_t* ramp) {
    const uint16_t ref = EBDNextReference();
    if (ramp == nullptr) return kRpcNotSent;
    GetTargetVersion(handle);
    std::array<uint8_t, 2 + 2 * kPowerRampWords> request{};
    Put16(request.data(), 0, ref);
    PutWords(request.data(), 2, ramp, kPowerRampWords);
    return RefOnlyCall(handle, kCalDevGsmSetPowerRamp, "EBDRPCCalDevGsmSetPowerRamp", ref, request);
}

uint16_t EBDRPCCalDevGsmSlotDefine(uint32_t handle, uint8_t slotNumber, const uint8_t* slotDefinition) {
    const uint16_t ref = EBDNextReference();
    if (slotDefinition == nullptr) return kRpcNotSent;
    TraceHexBytes(handle, "(RPC ) EBDRPCCalDevGsmSlotDefine: slotdefinition ->", slotDefinition,
                  static_cast<int32_t>(kSlotDefinitionSize));
    GetTargetVersion(handle);
    std::array<uint8_t, 2 + kSlotDefinitionSize + 2> request{};
    Put16(request.data(), 0, ref);
    std::memcpy(request.data() + 2, slotDefinition, kSlotDefinitionSize);
    Put8(request.data(), 2 + kSlotDefinitionSize, slotNumber);
    return DefineCall(handle, kCalDevGsmSlotDefine, "EBDRPCCalDevGsmSlotDefine", ref, request);
}

uint16_t EBDRPCCalDevGsmFrameDefine(uint32_t handle, uint8_t frameNumber, const uint8_t* frameDefinition) {
    const uint16_t ref = EBDNextReference();
    if (frameDefinition == nullptr) return kRpcNotSent;
    TraceHexBytes(handle, "(RPC ) EBDRPCCalDevGsmFrameDefine: framedefinition ->", frameDefinition,
                  static_cast<int32_t>(kFrameDefinitionSize));
    GetTargetVersion(handle);
    std::array<uint8_t, 2 + kFrameDefinitionSize + 2> request{};
    Put16(request.data(), 0, ref);
    std::memcpy(request.data() + 2, frameDefinition, kFrameDefinitionSize);
    Put8(request.data(), 2 + kFrameDefinitionSize, frameNumber);
    return DefineCall(handle, kCalDevGsmFrameDefine, "EBDRPCCalDevGsmFrameDefine", ref, request);
}

uint16_t EBDRPCCalDevGsmFrameTiming(uint32_t handle, uint8_t frameNumber, int16_t frameAdvance,
                                    int16_t rxAdvance, int16_t txAdvance, int16_t monAdvance) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 12> request{};
    Put16(request.data(), 0, ref);
    Put8(request.data(), 2, frameNumber);
    Put16(request.data(), 4, static_cast<uint16_t>(frameAdvance));
    Put16(request.data(), 6, static_cast<uint16_t>(rxAdvance));
    Put16(request.data(), 8, static_cast<uint16_t>(txAdvance));
    Put16(request.data(), 10, static_cast<uint16_t>(monAdvance));
    return RefOnlyCall(handle, kCalDevGsmFrameTiming, "EBDRPCCalDevGsmFrameTiming", ref, request);
}

uint16_t EBDRPCCalDevGsmFrameUse(uint32_t handle, uint8_t mode) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put8(request.data(), 2, mode);
    return RefOnlyCall(handle, kCalDevGsmFrameUse, "EBDRPCCalDevGsmFrameUse", ref, request);
}

}  // namespace ebd
