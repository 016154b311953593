// Remote calls of the main path: version, operation mode, Java autostart,
// switch-off, finishing test mode, AT commands through the remote channel.
#include "rpc/ebdrpc.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <new>

#include "core/ebd_core.h"
#include "rpc/ebdmsg.h"
#include "rpc/ebdmsgs.h"
#include "rpc/ebdnomi.h"
#include "rpc/nomierr.h"

namespace ebd {

using namespace msg;

namespace rpc {

namespace {
std::atomic<int> g_failAllocations{0};
// Bytes of the reference at the start of a confirm.
constexpr uint16_t kRefBytes = 2;
}  // namespace

bool Receive(uint32_t handle, uint16_t confirmId, uint8_t* buffer, uint16_t maxLength, int tries,
             uint16_t* received) {
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (EBDReceiveFromTarget(handle, confirmId, buffer, maxLength, received)) return true;
    }
    return false;
}

uint16_t CheckLength(uint32_t handle, const Needs& needs, uint16_t received) {
    if (received >= needs.bytes) return kRpcOk;
    Trace(handle, "(RPC ) %s: confirm has %d bytes, %d needed", needs.call, received, needs.bytes);
    return kRpcStatusFailed;
}

uint16_t TextEnd(const uint8_t* confirm, uint16_t received, size_t offset, size_t maxChars) {
    for (size_t i = 0; i < maxChars; ++i) {
        if (offset + i >= received) return static_cast<uint16_t>(received + 1);
        if (confirm[offset + i] == 0) return static_cast<uint16_t>(offset + i + 1);
    }
    return static_cast<uint16_t>(offset + maxChars);
}

uint8_t* AllocArea(size_t size) {
    // Each failure is handed out once, whichever thread asks.
    for (int left = g_failAllocations.load(); left > 0;) {
        if (g_failAllocations.compare_exchange_weak(left, left - 1)) return nullptr;
    }
    // Zeroed, so that nothing of an earlier call shows through.
    return new (std::nothrow) uint8_t[size == 0 ? 1 : size]();
}

void FreeArea(uint8_t* area) {
    delete[] area;
}

void FailAllocations(int count) {
    g_failAllocations = count;
}

uint16_t SendRequest(uint32_t handle, uint16_t requestId, std::span<const uint8_t> request) {
    GetTargetVersion(handle);
    const auto length = static_cast<uint16_t>(request.size());
    return EBDSendToTarget(handle, requestId, request.data(), length) ? kRpcOk : kRpcNotSent;
}

uint16_t ReceiveWhole(uint32_t handle, uint16_t requestId, std::span<uint8_t> confirm, const Needs& needs,
                      int tries, uint16_t* received) {
    const auto length = static_cast<uint16_t>(confirm.size());
    uint16_t got = 0;
    if (!Receive(handle, ConfirmOf(requestId), confirm.data(), length, tries, &got)) return kRpcNoConfirm;
    if (received != nullptr) *received = got;
    return CheckLength(handle, needs, got);
}

uint16_t ReceiveConfirm(uint32_t handle, uint16_t requestId, std::span<uint8_t> confirm, uint16_t ref,
                        const Needs& needs, int tries, uint16_t* received) {
    const auto length = static_cast<uint16_t>(confirm.size());
    uint16_t got = 0;
    if (!Receive(handle, ConfirmOf(requestId), confirm.data(), length, tries, &got)) return kRpcNoConfirm;
    if (received != nullptr) *received = got;
    if (got < kRefBytes) return CheckLength(handle, {needs.call, std::max(needs.bytes, kRefBytes)}, got);
    if (Get16(confirm.data(), 0) != ref) return kRpcBadReference;
    return CheckLength(handle, needs, got);
}

uint16_t Exchange(uint32_t handle, uint16_t requestId, std::span<const uint8_t> request,
                  std::span<uint8_t> confirm, const Needs& needs) {
    const uint16_t sent = SendRequest(handle, requestId, request);
    if (sent != kRpcOk) return sent;
    return ReceiveConfirm(handle, requestId, confirm, Get16(request.data(), 0), needs);
}

}  // namespace rpc

namespace {

using rpc::Area;

// Copies the text of an AT confirm (offset 2, up to its NUL or the end of the
// 128-byte area) into `response` with the line ends marked.
void AtConfirmText(const uint8_t* confirm, char* response) {
    char text[kAtTextArea + 1];
    std::memcpy(text, confirm + 2, kAtTextArea);
    text[kAtTextArea] = '\0';
    EBDMarkLineEnds(text, response);
}

// The end of the text an AT confirm of `received` bytes hands out.
uint16_t AtTextEnd(const uint8_t* confirm, uint16_t received) {
    return rpc::TextEnd(confirm, received, 2, kAtTextArea);
}

}  // namespace

uint16_t EBDRPCGetVersion(uint32_t handle, uint32_t* hardwareVersion, uint32_t* rpcVersion, char* text,
                          uint16_t textSize) {
    const uint16_t ref = EBDNextReference();
    GetTargetVersion(handle);
    std::array<uint8_t, 2> request{};
    Put16(request.data(), 0, ref);
    if (!EBDSendToTarget(handle, kGetVersion, request.data(), request.size())) return kRpcNotSent;
    const size_t confirmSize = static_cast<size_t>(textSize) + 11;
    // One byte more than is read, so that the text always ends in a NUL.
    Area confirm(confirmSize + 1);
    if (confirm.get() == nullptr) return kRpcNoMemory;
    const uint16_t readSize = static_cast<uint16_t>(confirmSize > 0xFFFF ? 0xFFFF : confirmSize);
    // Two versions up to offset 12, then the text, cut to textSize - 1 characters.
    // With textSize 0 the call reads 11 bytes and cannot ask for more.
    constexpr uint16_t kTextOffset = 12;
    const bool wantText = text != nullptr && textSize > 0;
    uint16_t received = 0;
    const uint16_t error =
        rpc::ReceiveConfirm(handle, kGetVersion, std::span<uint8_t>(confirm.get(), readSize), ref,
                            {"EBDRPCGetVersion", std::min(kTextOffset, readSize)}, 1, &received);
    if (error != kRpcOk) return error;
    if (wantText) {
        const size_t maxChars = std::min<size_t>(textSize - 1u, readSize - kTextOffset);
        const uint16_t textEnd = rpc::TextEnd(confirm.get(), received, kTextOffset, maxChars);
        if (rpc::CheckLength(handle, {"EBDRPCGetVersion", textEnd}, received) != kRpcOk)
            return kRpcStatusFailed;
    }
    if (hardwareVersion != nullptr) *hardwareVersion = Get32(confirm.get(), 4);
    if (rpcVersion != nullptr) *rpcVersion = Get32(confirm.get(), 8);
    if (wantText) {
        const char* source = reinterpret_cast<const char*>(confirm.get() + kTextOffset);
        const size_t available = confirmSize > kTextOffset ? confirmSize - kTextOffset : 0;
        size_t length = strnlen(source, available);
        if (length > static_cast<size_t>(textSize - 1)) length = textSize - 1;
        std::memset(text, 0, textSize);
        std::memcpy(text, source, length);
    }
    return kRpcOk;
}

uint16_t EBDRPCGetCurrentOperationMode(uint32_t handle, uint8_t* mode) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 2> request{};
    Put16(request.data(), 0, ref);
    // ref, status (16-bit), mode, pad.
    std::array<uint8_t, 6> confirm{};
    const uint16_t error = rpc::Exchange(handle, kGetCurrentOperationMode, request, confirm,
                                         {"EBDRPCGetCurrentOperationMode", 5});
    if (error != kRpcOk) return error;
    if (Get16(confirm.data(), 2) != 0) return kRpcStatusFailed;
    if (mode != nullptr) *mode = Get8(confirm.data(), 4);
    return kRpcOk;
}

uint16_t EBDRPCSetCurrentOperationMode(uint32_t handle, uint8_t mode) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put8(request.data(), 2, mode);
    const uint16_t sent = rpc::SendRequest(handle, kSetCurrentOperationMode, request);
    if (sent != kRpcOk) return sent;
    // ref (not compared), status (16-bit).
    std::array<uint8_t, 4> confirm{};
    const uint16_t error =
        rpc::ReceiveWhole(handle, kSetCurrentOperationMode, confirm, {"EBDRPCSetCurrentOperationMode", 4}, 5);
    if (error != kRpcOk) return error;
    // This confirm's reference is not compared; a refused mode reads as 4.
    if (Get16(confirm.data(), 2) != 0) return kRpcBadReference;
    return kRpcOk;
}

uint16_t EBDRPCSwitchJavaAutoStart(uint32_t handle, uint8_t onOff) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put8(request.data(), 2, onOff);
    // ref, result, pad.
    std::array<uint8_t, 4> confirm{};
    const uint16_t error =
        rpc::Exchange(handle, kSwitchJavaAutoStart, request, confirm, {"EBDRPCSwitchJavaAutoStart", 3});
    if (error != kRpcOk) return error;
    const uint8_t result = Get8(confirm.data(), 2);
    if (result != 0) {
        Trace(handle, "(RPC ) EBDRPCSwitchJavaAutoStart: gives result %d, should be 0", result);
        return kRpcStatusFailed;
    }
    return kRpcOk;
}

uint16_t EBDRPCSwitchOff(uint32_t handle) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 2> request{};
    Put16(request.data(), 0, ref);
    // No confirm comes: the module switches off.
    return rpc::SendRequest(handle, kSwitchOff, request);
}

uint16_t EBDRPCCalDevGsmFinish(uint32_t handle) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 2> request{};
    Put16(request.data(), 0, ref);
    std::array<uint8_t, 2> confirm{};
    return rpc::Exchange(handle, kCalDevGsmFinish, request, confirm, {"EBDRPCCalDevGsmFinish", 2});
}

uint16_t EBDRPCSendAtCommand(uint32_t handle, const char* command, char* response) {
    const uint16_t ref = EBDNextReference();
    // The command and its carriage return must fit the text area with a NUL;
    // the public operation refuses longer commands before it gets here.
    if (command == nullptr || strnlen(command, kAtTextArea) >= kAtTextArea - 1) return kRpcNotSent;
    std::array<uint8_t, kAtRecord> request{};
    Put16(request.data(), 0, ref);
    const size_t length = std::strlen(command);
    std::memcpy(request.data() + 2, command, length);
    request[2 + length] = '\r';
    request[2 + length + 1] = '\0';
    GetTargetVersion(handle);
    if (!EBDSendToTarget(handle, kSendAtCommand, request.data(), request.size())) return kRpcNotSent;
    // The first confirm is checked for its reference alone.
    std::array<uint8_t, kAtRecord> confirm{};
    uint16_t error = rpc::ReceiveConfirm(handle, kSendAtCommand, confirm, ref, {"EBDRPCSendAtCommand", 2});
    if (error != kRpcOk) return error;
    if (response == nullptr) return kRpcOk;
    // The module's answer comes in a second confirm.
    confirm.fill(0);
    uint16_t received = 0;
    error =
        rpc::ReceiveConfirm(handle, kSendAtCommand, confirm, ref, {"EBDRPCSendAtCommand", 2}, 5, &received);
    if (error != kRpcOk) return error;
    if (rpc::CheckLength(handle, {"EBDRPCSendAtCommand", AtTextEnd(confirm.data(), received)}, received) !=
        kRpcOk)
        return kRpcStatusFailed;
    AtConfirmText(confirm.data(), response);
    return kRpcOk;
}

uint16_t EBDRPCReceiveAtCommand(uint32_t handle, char* response) {
    std::array<uint8_t, kAtRecord> confirm{};
    uint16_t received = 0;
    if (!rpc::Receive(handle, ConfirmOf(kSendAtCommand), confirm.data(), confirm.size(), 1, &received))
        return kRpcNoConfirm;
    if (rpc::CheckLength(handle, {"EBDRPCReceiveAtCommand", AtTextEnd(confirm.data(), received)}, received) !=
        kRpcOk)
        return kRpcStatusFailed;
    if (response != nullptr) AtConfirmText(confirm.data(), response);
    return kRpcOk;
}

}  // namespace ebd
