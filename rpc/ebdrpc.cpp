// Remote calls of the main path: version, operation mode, Java autostart,
// switch-off, finishing test mode, AT commands through the remote channel.
#include "rpc/ebdrpc.h"

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
}

bool Receive(uint32_t handle, uint16_t confirmId, uint8_t* buffer, uint16_t maxLength, int tries) {
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (EBDReceiveFromTarget(handle, confirmId, buffer, maxLength)) return true;
    }
    return false;
}

uint8_t* AllocArea(size_t size) {
    // Each failure is handed out once, whichever thread asks.
    for (int left = g_failAllocations.load(); left > 0;) {
        if (g_failAllocations.compare_exchange_weak(left, left - 1)) return nullptr;
    }
    // Zeroed, so that a confirm shorter than its record reads as zeros.
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

uint16_t ReceiveConfirm(uint32_t handle, uint16_t requestId, std::span<uint8_t> confirm, uint16_t ref) {
    const auto length = static_cast<uint16_t>(confirm.size());
    if (!Receive(handle, ConfirmOf(requestId), confirm.data(), length)) return kRpcNoConfirm;
    return Get16(confirm.data(), 0) == ref ? kRpcOk : kRpcBadReference;
}

uint16_t Exchange(uint32_t handle, uint16_t requestId, std::span<const uint8_t> request,
                  std::span<uint8_t> confirm) {
    const uint16_t sent = SendRequest(handle, requestId, request);
    if (sent != kRpcOk) return sent;
    return ReceiveConfirm(handle, requestId, confirm, Get16(request.data(), 0));
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
    if (!rpc::Receive(handle, ConfirmOf(kGetVersion), confirm.get(), readSize)) return kRpcNoConfirm;
    if (Get16(confirm.get(), 0) != ref) return kRpcBadReference;
    if (hardwareVersion != nullptr) *hardwareVersion = Get32(confirm.get(), 4);
    if (rpcVersion != nullptr) *rpcVersion = Get32(confirm.get(), 8);
    if (text != nullptr && textSize > 0) {
        const char* source = reinterpret_cast<const char*>(confirm.get() + 12);
        const size_t available = confirmSize > 12 ? confirmSize - 12 : 0;
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
    std::array<uint8_t, 6> confirm{};
    const uint16_t error = rpc::Exchange(handle, kGetCurrentOperationMode, request, confirm);
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
    std::array<uint8_t, 4> confirm{};
    if (!rpc::Receive(handle, ConfirmOf(kSetCurrentOperationMode), confirm.data(), confirm.size(), 5))
        return kRpcNoConfirm;
    // This confirm's reference is not compared; a refused mode reads as 4.
    if (Get16(confirm.data(), 2) != 0) return kRpcBadReference;
    return kRpcOk;
}

uint16_t EBDRPCSwitchJavaAutoStart(uint32_t handle, uint8_t onOff) {
    const uint16_t ref = EBDNextReference();
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put8(request.data(), 2, onOff);
    std::array<uint8_t, 4> confirm{};
    const uint16_t error = rpc::Exchange(handle, kSwitchJavaAutoStart, request, confirm);
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
    return rpc::Exchange(handle, kCalDevGsmFinish, request, confirm);
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
    std::array<uint8_t, kAtRecord> confirm{};
    if (!rpc::Receive(handle, ConfirmOf(kSendAtCommand), confirm.data(), confirm.size()))
        return kRpcNoConfirm;
    if (Get16(confirm.data(), 0) != ref) return kRpcBadReference;
    if (response == nullptr) return kRpcOk;
    // The module's answer comes in a second confirm.
    confirm.fill(0);
    if (!rpc::Receive(handle, ConfirmOf(kSendAtCommand), confirm.data(), confirm.size(), 5))
        return kRpcNoConfirm;
    if (Get16(confirm.data(), 0) != ref) return kRpcBadReference;
    AtConfirmText(confirm.data(), response);
    return kRpcOk;
}

uint16_t EBDRPCReceiveAtCommand(uint32_t handle, char* response) {
    std::array<uint8_t, kAtRecord> confirm{};
    if (!rpc::Receive(handle, ConfirmOf(kSendAtCommand), confirm.data(), confirm.size()))
        return kRpcNoConfirm;
    if (response != nullptr) AtConfirmText(confirm.data(), response);
    return kRpcOk;
}

}  // namespace ebd
