// Identity and security operations: pass-throughs of serial numbers, IMEI,
// information elements, security mode, challenge and response, and mobile
// information. The library neither interprets nor keeps what they carry.
#include <array>
#include <cstring>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "rpc/ebdmsgs.h"
#include "rpc/ebdrpc_service.h"

namespace ebd {

namespace {

enum ImeiMode : uint8_t {
    kImeiModeReset = 0,
    kImeiModeCustomer = 1,
};

int32_t ImeiModeCall(uint32_t handle, const char* operation, const char* call, uint8_t mode,
                     uint8_t* pResult) {
    Trace(handle, "(EBD ) %s()", operation);
    Trace(handle, "(EBD ) %s: call %s()...", operation, call);
    uint8_t result = mode;
    const uint16_t error = EBDRPCResetIMEIMode(handle, &result);
    if (error != 0) return CallFailed(handle, operation, call, error);
    *pResult = result;
    Trace(handle, "(EBD ) %s: %s returns OK", operation, call);
    return 1;
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WGetFlashSerialNumber(EBDHandle handle, uint32_t* pSerialNumber, uint8_t* pBytes) {
    if (!HandleValid(handle) || pSerialNumber == nullptr || pBytes == nullptr) return 0;
    TraceLine(handle, "(EBD ) WGetFlashSerialNumber");
    TraceLine(handle, "(EBD ) WGetFlashSerialNumber: call EBDRPCFlashSerialNumberRead()...");
    std::array<uint8_t, kFlashSerialNumberSize> bytes{};
    const uint16_t error = EBDRPCFlashSerialNumberRead(handle, bytes.data());
    if (error != 0)
        return Fail(handle, error, "(EBD ) EBDRPCFlashSerialNumberRead failed with error %d", error);
    TraceLine(handle, "(EBD ) WGetFlashSerialNumber successfull");
    std::memcpy(pBytes, bytes.data(), bytes.size());
    *pSerialNumber = msg::Get32(bytes.data(), 0);
    return 1;
}

extern "C" int32_t WGetSingleIE(EBDHandle handle, uint16_t* pIe) {
    if (!HandleValid(handle) || pIe == nullptr) return 0;
    Trace(handle, "(EBD ) WGetSingleIE(IeCode=0x%04x)", *pIe);
    TraceLine(handle, "(EBD ) WGetSingleIE: call EBDRPCGetSingleIE()...");
    const uint16_t error = EBDRPCGetSingleIE(handle, pIe);
    if (error != 0)
        return Fail(handle, error, "(EBD ) WGetSingleIE: EBDRPCGetSingleIE fails with error %d", error);
    Trace(handle, "(EBD ) WGetSingleIE: EBDRPCGetSingleIE returns IeValue=0x%04x", *pIe);
    return 1;
}

extern "C" int32_t WResetIMEIMode(EBDHandle handle, uint8_t* pResult) {
    if (!HandleValid(handle) || pResult == nullptr) return 0;
    return ImeiModeCall(handle, "WResetIMEIMode", "EBDRPCResetIMEIMode", kImeiModeReset, pResult);
}

extern "C" int32_t WSetCustomerIMEIMode(EBDHandle handle, uint8_t* pResult) {
    if (!HandleValid(handle) || pResult == nullptr) return 0;
    return ImeiModeCall(handle, "WSetCustomerIMEIMode", "EBDRPCSetCustomerIMEIMode", kImeiModeCustomer,
                        pResult);
}

extern "C" int32_t WReadSerialNumber(EBDHandle handle, uint8_t* serialNumber) {
    if (!HandleValid(handle) || serialNumber == nullptr) return 0;
    TraceLine(handle, "(EBD ) WReadSerialNumber()");
    TraceLine(handle, "(EBD ) WReadSerialNumber: call EBDRPCReadSerialNumber()...");
    const uint16_t error = EBDRPCReadSerialNumber(handle, serialNumber);
    if (error != 0)
        return Fail(handle, error, "(EBD ) WReadSerialNumber: EBDRPCReadSerialNumber fails with error %d",
                    error);
    TraceHexBytes(handle, "(EBD ) WReadSerialNumber: rets *serialNumber ->", serialNumber, kSerialNumberSize);
    TraceLine(handle, "(EBD ) WReadSerialNumber: EBDRPCReadSerialNumber returns OK");
    return 1;
}

extern "C" int32_t WReadIMEI(EBDHandle handle, uint8_t* imei) {
    if (!HandleValid(handle) || imei == nullptr) return 0;
    TraceLine(handle, "(EBD ) WReadIMEI()");
    TraceLine(handle, "(EBD ) WReadIMEI: call EBDRPCReadIMEI()...");
    const uint16_t error = EBDRPCReadIMEI(handle, imei);
    if (error != 0) return Fail(handle, error, "(EBD ) WReadIMEI: EBDRPCReadIMEI fails with error %d", error);
    TraceHexBytes(handle, "(EBD ) WReadIMEI: rets *imei ->", imei, kImeiSize);
    TraceLine(handle, "(EBD ) WReadIMEI: EBDRPCReadIMEI returns OK");
    return 1;
}

extern "C" int32_t WInitIMEI(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    TraceLine(handle, "(EBD ) WInitIMEI()");
    TraceLine(handle, "(EBD ) WInitIMEI: call EBDRPCInitIMEI()...");
    const uint16_t error = EBDRPCInitIMEI(handle);
    if (error != 0) return Fail(handle, error, "(EBD ) WInitIMEI: EBDRPCInitIMEI fails with error %d", error);
    TraceLine(handle, "(EBD ) WInitIMEI: EBDRPCInitIMEI returns OK");
    return 1;
}

extern "C" int32_t WFreezeIMEI(EBDHandle handle, const uint8_t* imei) {
    if (!HandleValid(handle) || imei == nullptr) return 0;
    TraceLine(handle, "(EBD ) WFreezeIMEI()");
    TraceLine(handle, "(EBD ) WFreezeIMEI: call EBDRPCFreezeIMEI()...");
    const uint16_t error = EBDRPCFreezeIMEI(handle, imei);
    if (error != 0)
        return Fail(handle, error, "(EBD ) WFreezeIMEI: EBDRPCFreezeIMEI fails with error %d", error);
    TraceLine(handle, "(EBD ) WFreezeIMEI: EBDRPCFreezeIMEI returns OK");
    return 1;
}

extern "C" int32_t WSetSecurityMode(EBDHandle handle, uint16_t* pMode, uint32_t securityParameter) {
    if (!HandleValid(handle) || pMode == nullptr) return 0;
    Trace(handle, "(EBD ) WSetSecurityMode(Mode=%d)", *pMode);
    TraceLine(handle, "(EBD ) WSetSecurityMode: call EBDRPCSetSecurityMode()...");
    const uint16_t error = EBDRPCSetSecurityMode(handle, pMode, securityParameter);
    if (error != 0)
        return Fail(handle, error, "(EBD ) WSetSecurityMode: EBDRPCSetSecurityMode fails with error %d",
                    error);
    TraceLine(handle, "(EBD ) WSetSecurityMode: EBDRPCSetSecurityMode returns OK");
    return 1;
}

extern "C" int32_t WRequestChallenge(EBDHandle handle, uint8_t* challenge) {
    if (!HandleValid(handle) || challenge == nullptr) return 0;
    TraceLine(handle, "(EBD ) WRequestChallenge");
    const uint16_t error = EBDRPCRequestChallenge(handle, challenge);
    if (error != 0) return Fail(handle, error, "(EBD ) WRequestChallenge failed with error %d", error);
    TraceLine(handle, "(EBD ) WRequestChallenge successful");
    return 1;
}

extern "C" int32_t WSendResponse(EBDHandle handle, const uint8_t* responseBlock) {
    if (!HandleValid(handle) || responseBlock == nullptr) return 0;
    TraceLine(handle, "(EBD ) WSendResponse");
    const uint16_t error = EBDRPCSendResponse(handle, responseBlock);
    if (error != 0) return Fail(handle, error, "(EBD ) WSendResponse failed with error %d", error);
    TraceLine(handle, "(EBD ) WSendResponse successful");
    return 1;
}

extern "C" int32_t WGetMobileInformation(EBDHandle handle, uint8_t* info) {
    if (!HandleValid(handle) || info == nullptr) return 0;
    TraceLine(handle, "(EBD ) WGetMobileInformation");
    const uint16_t error = EBDRPCGetMobileInfo(handle, info);
    if (error != 0) return Fail(handle, error, "(EBD ) EBDRPCGetMobileInfo failed with error %d", error);
    TraceLine(handle, "(EBD ) WGetMobileInformation successful");
    return 1;
}
