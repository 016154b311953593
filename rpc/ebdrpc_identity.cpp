// Remote calls of identity and security: serial numbers, IMEI, information
// elements, security mode, challenge and response, mobile information.
#include <array>
#include <cstring>

#include "rpc/ebdmsg.h"
#include "rpc/ebdmsgs.h"
#include "rpc/ebdnomi.h"
#include "rpc/ebdrpc.h"
#include "rpc/ebdrpc_service.h"
#include "rpc/nomierr.h"

namespace ebd {

using namespace msg;

namespace {

// A non-zero status byte, read as signed, comes back as 700 + s.
uint16_t IdentityStatus(const uint8_t* confirm, size_t offset) {
    const auto s = static_cast<int8_t>(Get8(confirm, offset));
    return s == 0 ? kRpcOk : static_cast<uint16_t>(kRpcIdentityBase + s);
}

void Preset(uint8_t* area, size_t size) {
    if (area != nullptr) std::memset(area, 0xFF, size);
}

void CopyOut(uint8_t* area, const uint8_t* from, size_t size) {
    if (area != nullptr) std::memcpy(area, from, size);
}

// A request of the reference alone.
std::array<uint8_t, 2> RefOnly(uint16_t ref) {
    std::array<uint8_t, 2> request{};
    Put16(request.data(), 0, ref);
    return request;
}

// Requests of the reference alone whose confirm is a data area and a status
// byte s behind it; the area is preset once the request is out.
template <size_t ConfirmSize>
uint16_t ReadArea(uint32_t handle, uint16_t requestId, const char* call, uint8_t* area, size_t size) {
    const uint16_t ref = EBDNextReference();
    const auto request = RefOnly(ref);
    const uint16_t sent = rpc::SendRequest(handle, requestId, request);
    if (sent != kRpcOk) return sent;
    Preset(area, size);
    std::array<uint8_t, ConfirmSize> confirm{};
    // ref, the area, s.
    const auto needed = static_cast<uint16_t>(2 + size + 1);
    const uint16_t error = rpc::ReceiveConfirm(handle, requestId, confirm, ref, {call, needed});
    if (error != kRpcOk) return error;
    const uint16_t status = IdentityStatus(confirm.data(), 2 + size);
    if (status != kRpcOk) return status;
    CopyOut(area, confirm.data() + 2, size);
    return kRpcOk;
}

// Confirms of the reference, a status byte s and a pad.
uint16_t StatusOnly(uint32_t handle, uint16_t requestId, const char* call, std::span<const uint8_t> request) {
    std::array<uint8_t, 4> confirm{};
    const uint16_t error = rpc::Exchange(handle, requestId, request, confirm, {call, 3});
    if (error != kRpcOk) return error;
    return IdentityStatus(confirm.data(), 2);
}

}  // namespace

uint16_t EBDRPCFlashSerialNumberRead(uint32_t handle, uint8_t* serialNumber) {
    const uint16_t ref = EBDNextReference();
    const auto request = RefOnly(ref);
    // ref, status, serial number, pad.
    std::array<uint8_t, 8> confirm{};
    const uint16_t error =
        rpc::Exchange(handle, kFlashSerialNumberRead, request, confirm,
                      {"EBDRPCFlashSerialNumberRead", static_cast<uint16_t>(3 + kFlashSerialNumberSize)});
    if (error != kRpcOk) return error;
    if (Get8(confirm.data(), 2) != 0) return kRpcStatusFailed;
    CopyOut(serialNumber, confirm.data() + 3, kFlashSerialNumberSize);
    return kRpcOk;
}

uint16_t EBDRPCGetSingleIE(uint32_t handle, uint16_t* ie) {
    const uint16_t ref = EBDNextReference();
    if (ie == nullptr) return kRpcNotSent;
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, *ie);
    const uint16_t sent = rpc::SendRequest(handle, kGetSingleIE, request);
    if (sent != kRpcOk) return sent;
    *ie = 0xFFFF;
    // ref, IeValue, s, pad.
    std::array<uint8_t, 6> confirm{};
    const uint16_t error = rpc::ReceiveConfirm(handle, kGetSingleIE, confirm, ref, {"EBDRPCGetSingleIE", 5});
    if (error != kRpcOk) return error;
    const uint16_t status = IdentityStatus(confirm.data(), 4);
    if (status != kRpcOk) return status;
    *ie = Get16(confirm.data(), 2);
    return kRpcOk;
}

uint16_t EBDRPCResetIMEIMode(uint32_t handle, uint8_t* mode) {
    const uint16_t ref = EBDNextReference();
    if (mode == nullptr) return kRpcNotSent;
    std::array<uint8_t, 4> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, *mode);
    const uint16_t sent = rpc::SendRequest(handle, kResetIMEIMode, request);
    if (sent != kRpcOk) return sent;
    *mode = 0xFF;
    // ref, mode, pad, s, pad.
    std::array<uint8_t, 6> confirm{};
    const uint16_t error =
        rpc::ReceiveConfirm(handle, kResetIMEIMode, confirm, ref, {"EBDRPCResetIMEIMode", 5});
    if (error != kRpcOk) return error;
    // The mode the module reports goes out also when its status is a failure.
    *mode = Get8(confirm.data(), 2);
    return IdentityStatus(confirm.data(), 4);
}

uint16_t EBDRPCReadSerialNumber(uint32_t handle, uint8_t* serialNumber) {
    return ReadArea<12>(handle, kReadSerialNumber, "EBDRPCReadSerialNumber", serialNumber, kSerialNumberSize);
}

uint16_t EBDRPCReadIMEI(uint32_t handle, uint8_t* imei) {
    return ReadArea<12>(handle, kReadIMEI, "EBDRPCReadIMEI", imei, kImeiSize);
}

uint16_t EBDRPCInitIMEI(uint32_t handle) {
    const uint16_t ref = EBDNextReference();
    return StatusOnly(handle, kInitIMEI, "EBDRPCInitIMEI", RefOnly(ref));
}

uint16_t EBDRPCFreezeIMEI(uint32_t handle, const uint8_t* imei) {
    const uint16_t ref = EBDNextReference();
    if (imei == nullptr) return kRpcNotSent;
    std::array<uint8_t, 2 + kImeiSize> request{};
    Put16(request.data(), 0, ref);
    std::memcpy(request.data() + 2, imei, kImeiSize);
    return StatusOnly(handle, kFreezeIMEI, "EBDRPCFreezeIMEI", request);
}

uint16_t EBDRPCSetSecurityMode(uint32_t handle, uint16_t* mode, uint32_t securityParameter) {
    const uint16_t ref = EBDNextReference();
    if (mode == nullptr) return kRpcNotSent;
    std::array<uint8_t, 8> request{};
    Put16(request.data(), 0, ref);
    Put16(request.data(), 2, *mode);
    Put32(request.data(), 4, securityParameter);
    // ref, Mode, s, pad.
    std::array<uint8_t, 6> confirm{};
    const uint16_t error =
        rpc::Exchange(handle, kSetSecurityMode, request, confirm, {"EBDRPCSetSecurityMode", 5});
    if (error != kRpcOk) return error;
    // The mode the module reports goes out also when its status is a failure.
    *mode = Get16(confirm.data(), 2);
    return IdentityStatus(confirm.data(), 4);
}

uint16_t EBDRPCRequestChallenge(uint32_t handle, uint8_t* challenge) {
    const uint16_t ref = EBDNextReference();
    const auto request = RefOnly(ref);
    const uint16_t sent = rpc::SendRequest(handle, kRequestChallenge, request);
    if (sent != kRpcOk) return sent;
    Preset(challenge, kChallengeSize);
    std::array<uint8_t, 2 + kChallengeSize> confirm{};
    const uint16_t error =
        rpc::ReceiveConfirm(handle, kRequestChallenge, confirm, ref,
                            {"EBDRPCRequestChallenge", static_cast<uint16_t>(confirm.size())});
    if (error != kRpcOk) return error;
    CopyOut(challenge, confirm.data() + 2, kChallengeSize);
    return kRpcOk;
}

uint16_t EBDRPCSendResponse(uint32_t handle, const uint8_t* responseBlock) {
    const uint16_t ref = EBDNextReference();
    if (responseBlock == nullptr) return kRpcNotSent;
    std::array<uint8_t, 2 + kResponseBlockSize> request{};
    Put16(request.data(), 0, ref);
    std::memcpy(request.data() + 2, responseBlock, kResponseBlockSize);
    return StatusOnly(handle, kSendResponse, "EBDRPCSendResponse", request);
}

uint16_t EBDRPCGetMobileInfo(uint32_t handle, uint8_t* info) {
    return ReadArea<20>(handle, kGetMobileInfo, "EBDRPCGetMobileInfo", info, kMobileInfoSize);
}

}  // namespace ebd
