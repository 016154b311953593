// Operation modes: bring the module's port to NOMI, then the firmware into
// normal, service, test or airplane mode.
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "rpc/ebdrpc.h"

namespace ebd {

int SwitchTargetToOperationMode(uint32_t handle, uint8_t operationMode) {
    Trace(handle, "(EBD ) SwitchTargetToOperationMode(operationMode=%d)", operationMode);
    TraceLine(handle, "(EBD ) SwitchTargetToOperationMode: call EBDRPCGetCurrentOperationMode()...");
    uint8_t current = 0;
    uint16_t error = EBDRPCGetCurrentOperationMode(handle, &current);
    if (error != 0) {
        return Fail(handle, error,
                    "(EBD ) SwitchTargetToOperationMode: EBDRPCGetCurrentOperationMode fails with error %d",
                    error);
    }
    if (current == operationMode) {
        Trace(handle, "(EBD ) SwitchTargetToOperationMode: target already in mode %d", operationMode);
        return 1;
    }
    Trace(handle,
          "(EBD ) SwitchTargetToOperationMode: current mode %d, call EBDRPCSetCurrentOperationMode(%d)...",
          current, operationMode);
    error = EBDRPCSetCurrentOperationMode(handle, operationMode);
    if (error != 0) {
        return Fail(handle, error,
                    "(EBD ) SwitchTargetToOperationMode: EBDRPCSetCurrentOperationMode fails with error %d",
                    error);
    }
    Trace(handle, "(EBD ) SwitchTargetToOperationMode: target successfully set to mode %d", operationMode);
    return 1;
}

namespace {

struct ModeEntry {
    const char* name;
    bool entryLine;
    uint8_t serviceMode;
    uint8_t operationMode;
    const char* modeWord;
    const char* lineAfterSerial;  // traced between the serial switch and the mode switch
    const char* lineAfterMode;    // traced between the mode switch and O.K.
};

int32_t InitMode(uint32_t handle, const ModeEntry& mode) {
    if (!HandleValid(handle)) return 0;
    if (mode.entryLine) Trace(handle, "(EBD ) %s()", mode.name);
    Trace(handle, "(EBD ) %s: switch serial to NOMI mode...", mode.name);
    if (!SwitchSerialToNOMIMode(handle, mode.serviceMode)) {
        Trace(handle, "(EBD ) %s: SwitchSerialToNomiMode fails", mode.name);
        return 0;
    }
    if (mode.lineAfterSerial != nullptr) TraceLine(handle, mode.lineAfterSerial);
    Trace(handle, "(EBD ) %s: switch target to %s mode...", mode.name, mode.modeWord);
    if (SwitchTargetToOperationMode(handle, mode.operationMode) == 0) {
        Trace(handle, "(EBD ) %s: SwitchTargetToOperationMode fails", mode.name);
        return 0;
    }
    if (mode.lineAfterMode != nullptr) TraceLine(handle, mode.lineAfterMode);
    Trace(handle, "(EBD ) %s: O.K.", mode.name);
    return 1;
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WInitServiceMode(EBDHandle handle) {
    return InitMode(handle, {"WInitServiceMode", true, 1, OperationModeService, "service", nullptr, nullptr});
}

extern "C" int32_t WInitNormalMode(EBDHandle handle) {
    return InitMode(handle,
                    {"WInitNormalMode", false, 0, OperationModeNormal, "normal", nullptr,
                     "(EBD ) WInitNormalMode: FAST_DLL: skip 2 secs wait 'let the system come up...'"});
}

extern "C" int32_t WInitTestMode(EBDHandle handle) {
    return InitMode(
        handle,
        {"WInitTestMode", true, 0, OperationModeTest, "test",
         "(EBD ) WInitTestMode: FAST_DLL: skip 4 secs wait 'wait 4 secs before switching target to test "
         "mode...'",
         nullptr});
}

extern "C" int32_t WInitAirplaneMode(EBDHandle handle) {
    return InitMode(handle,
                    {"WInitAirplaneMode", true, 0, OperationModeAirplane, "airplane", nullptr, nullptr});
}

extern "C" int32_t WExitServiceMode(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    TraceLine(handle, "(EBD ) WExitServiceMode()");
    TraceLine(handle, "(EBD ) : WExitServiceMode O.K.");
    return 1;
}
