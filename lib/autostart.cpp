// Java autostart, switch-off, and AT commands sent through the remote channel.
#include <cstring>
#include <string>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "rpc/ebdrpc.h"

namespace ebd {

namespace {

constexpr size_t kMaxAtCommand = 126;
constexpr size_t kMaxDialNumber = 251;
constexpr size_t kAnswerArea = 4 * 128 + 1;
constexpr int kSwitchOffAttempts = 5;
constexpr int16_t kFinishTestModeFromVersion = 136;

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WSwitchJavaAutoStart(EBDHandle handle, int32_t onOff) {
    if (!HandleValid(handle)) return 0;
    const auto byte = static_cast<uint8_t>(onOff & 0xFF);
    Trace(handle, "(EBD ) WSwitchJavaAutoStart(onOff=%d", byte);
    TraceLine(handle, "(EBD ) WSwitchJavaAutoStart: call EBDRPCSwitchJavaAutoStart()...");
    const uint16_t error = EBDRPCSwitchJavaAutoStart(handle, byte);
    if (error == 0) {
        TraceLine(handle, "(EBD ) WSwitchJavaAutoStart: O.K.");
        return 1;
    }
    return Fail(handle, error, "(EBD ) WSwitchJavaAutoStart: EBDRPCSwitchJavaAutoStartfails with error %d",
                error);
}

extern "C" int32_t WSwitchOff(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    TraceLine(handle, "(EBD ) WSwitchOff");
    TraceLine(handle, "(EBD ) WSwitchOff: check for normal mode (call may be active!)");
    uint8_t mode = 0;
    uint16_t error = EBDRPCGetCurrentOperationMode(handle, &mode);
    if (error != 0) {
        return Fail(handle, error, "(EBD ) WSwitchOff: EBDRPCGetCurrentOperationMode fails with error %d",
                    error);
    }
    if (mode == OperationModeNormal) {
        TraceLine(handle, "(EBD ) WSwitchOff: target in normal mode, try to end active call...");
        char answer[kAnswerArea] = {};
        WSendAtCommand(handle, "ATH", answer);
        WSendAtCommand(handle, "AT+CGATT=0", nullptr);
        TraceLine(handle, "(EBD ) WSwitchOff: special normal mode action finished");
    } else if (mode == OperationModeTest && PortOf(handle).mobileSwVersion >= kFinishTestModeFromVersion) {
        TraceLine(handle, "(EBD ) WSwitchOff: target in test mode, try to finish test mode...");
        error = EBDRPCCalDevGsmFinish(handle);
        if (error != 0) {
            return Fail(handle, error, "(EBD ) WSwitchOff: EBDRPCCalDevGsmFinish fails with error %d", error);
        }
        TraceLine(handle, "(EBD ) WSwitchOff: special test mode action finished");
    }

    bool silent = false;
    for (int attempt = 0; attempt < kSwitchOffAttempts && !silent; ++attempt) {
        TraceLine(handle, "(EBD ) WSwitchOff: call EBDRPCSwitchOff...");
        error = EBDRPCSwitchOff(handle);
        if (error != 0) {
            return Fail(handle, error, "(EBD ) WSwitchOff: EBDRPCSwitchOff fails with error %d", error);
        }
        TraceLine(handle, "(EBD ) WSwitchOff: wait until target is switched off...");
        silent = WaitForTargetSerialMode(handle, SerialModeNone);
    }
    if (!silent) {
        TraceLine(handle, "(EBD ) WSwitchOff: target not switched off!?");
        return 0;
    }
    TraceLine(handle, "(EBD ) WSwitchOff: FAST_DLL: skip 5 secs wait 'wait 5 secs, just to be sure...'");
    TraceLine(handle, "(EBD ) WSwitchOff: O.K.");
    return 1;
}

extern "C" int32_t WSendAtCommand(EBDHandle handle, const char* command, char* response) {
    if (command == nullptr) return 0;
    if (strnlen(command, kMaxAtCommand + 1) > kMaxAtCommand) {
        TraceLine(handle, "(EBD ) WSendAtCommand: Error, string too long");
        return 0;
    }
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSendAtCommand [%s] (length=%d)", command, static_cast<int>(std::strlen(command)));
    TraceLine(handle, "(EBD ) WSendAtCommand: call EBDRPCSendAtCommand...");
    const uint16_t error = EBDRPCSendAtCommand(handle, command, response);
    if (error != 0) {
        return Fail(handle, error, "(EBD ) WSendAtCommand: EBDRPCSendAtCommand fails with error %d", error);
    }
    if (response != nullptr) Trace(handle, "(EBD ) WSendAtCommand received: [%s]", response);
    TraceLine(handle, "(EBD ) WSendAtCommand: O.K.");
    return 1;
}

extern "C" int32_t WReceiveAtCommand(EBDHandle handle, char* response) {
    if (!HandleValid(handle) || response == nullptr) return 0;
    TraceLine(handle, "(EBD ) WReceiveAtCommand: call EBDRPCReceiveAtCommand...");
    const uint16_t error = EBDRPCReceiveAtCommand(handle, response);
    if (error != 0) {
        return Fail(handle, error, "(EBD ) WReceiveAtCommand: EBDRPCReceiveAtCommand fails with error %d",
                    error);
    }
    Trace(handle, "(EBD ) WReceiveAtCommand received: [%s]", response);
    return 1;
}

extern "C" int32_t WSendAtCommandAndWait(EBDHandle handle, const char* command, const char* expected,
                                         uint8_t waitSeconds) {
    if (!HandleValid(handle) || command == nullptr || expected == nullptr) return 0;
    Trace(handle, "(EBD ) WSendAtCommandAndWait (command to send is %s, wait for %s, wait %d secs)", command,
          expected, waitSeconds);
    char answer[kAnswerArea] = {};
    int32_t result = WSendAtCommand(handle, command, answer);
    for (int attempt = 1; attempt <= waitSeconds; ++attempt) {
        if (std::strstr(answer, expected) != nullptr || std::strstr(answer, "ERROR") != nullptr) break;
        Trace(handle, "(EBD ) Attempting receive (#%d)", attempt);
        result = WReceiveAtCommand(handle, answer);
    }
    if (std::strstr(answer, expected) != nullptr && result == 1) {
        TraceLine(handle, "(EBD ) WSendAtCommandAndWait: O.K.");
        return 1;
    }
    return 0;
}

extern "C" int32_t WStartCircuitSwitchedCall(EBDHandle handle, const char* number) {
    if (!HandleValid(handle) || number == nullptr) return 0;
    const size_t length = strnlen(number, kMaxDialNumber + 1);
    if (length > kMaxDialNumber) {
        // The length is the last error, cut to 16 bits like every last error.
        const size_t full = std::strlen(number);
        return Fail(handle, static_cast<uint16_t>(full),
                    "(EBD ) WStartCircuitSwitchedCall: number string too long: %d characters",
                    static_cast<int>(static_cast<uint16_t>(full)));
    }
    Trace(handle, "(EBD ) WStartCircuitSwitchedCall (number to dial= %s)", number);
    TraceLine(handle,
              "(EBD ) WStartCircuitSwitchedCall: sleep 2 seconds after location update before start call");
    platform::current().sleepMs(2000);
    char command[256];
    std::snprintf(command, sizeof command, "ATD%s;", number);
    Trace(handle, "(EBD ) WStartCircuitSwitchedCall (command to send is %s)", command);
    if (WSendAtCommandAndWait(handle, command, "OK", 5) == 1) {
        TraceLine(handle, "(EBD ) WStartCircuitSwitchedCall: O.K.");
        return 1;
    }
    Trace(handle, "(EBD ) WStartCircuitSwitchedCall: WSendAtCommandAndWait fails with error %d",
          PortOf(handle).lastError.load());
    return 0;
}

extern "C" int32_t WStartGPRSAttach(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WStartGPRSAttach (command to send is %s)", "AT+CGATT=1");
    TraceLine(handle, "(EBD ) WStartGPRSAttach: sleep 2 seconds after location update before attachl");
    platform::current().sleepMs(2000);
    if (WSendAtCommandAndWait(handle, "AT+CGATT=1", "OK", 5) == 1) {
        TraceLine(handle, "(EBD ) WStartGPRSAttach: O.K.");
        return 1;
    }
    Trace(handle, "(EBD ) WStartGPRSAttach: WSendAtCommandAndWait fails with error %d",
          PortOf(handle).lastError.load());
    return 0;
}

extern "C" int32_t WprepareNetworkRegistration(EBDHandle handle, uint16_t timeout1, uint16_t timeout2) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WprepareNetworkRegistration(timeout1= %u, timeout2= %d)", timeout1, timeout2);
    TraceLine(handle, "(EBD ) WprepareNetworkRegistration: O.K.");
    return 1;
}
