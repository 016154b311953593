// Module boot and the switch to NOMI mode: a silent module is powered on through
// its ignition line (DTR), plainly or through its bootloader; a port in AT mode
// gets "at^xqwe=1".
#include <array>

#include "lib/ebd_intern.h"
#include "link/gwcoml1.h"
#include "link/gwcoml2.h"

namespace ebd {

namespace {

constexpr std::array<uint8_t, 10> kModeSwitch = {0x61, 0x74, 0x5E, 0x78, 0x71, 0x77, 0x65, 0x3D, 0x31, 0x0D};
constexpr std::array<uint8_t, 6> kModeSwitchAnswer = {0x0D, 0x0A, 0x4F, 0x4B, 0x0D, 0x0A};
constexpr uint8_t kPattern = 0x78;
constexpr uint8_t kPatternAnswer = 0x87;
constexpr std::array<uint8_t, 9> kVersionCommand = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0xFE, 0x07, 0xFB};
constexpr std::array<uint8_t, 10> kBootCommand = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x03, 0xFE, 0x01, 0x02, 0xFE};
constexpr uint8_t kBootAck = 0x06;
constexpr int kPatternAttempts = 200;
constexpr int kVersionAttempts = 5;
constexpr int kBootConfirmReads = 5;
constexpr int kModeSwitchAttempts = 10;
constexpr uint32_t kReprogramMs = 800;

bool SetIgnition(uint32_t handle, bool low) {
    const platform::PortHandle port = GetPortHandle(handle);
    return port != platform::kNoPort && platform::current().setDtr(port, low);
}

}  // namespace

bool ModuleBootNormalMode(uint32_t handle) {
    platform::Platform& os = platform::current();
    TraceLine(handle, "(EBD ) ModuleBootNormalMode: Set Ignition low / DTR logical high");
    if (!SetIgnition(handle, true)) {
        TraceLine(handle, "(EBD ) ModuleBootNormalMode: cannot set ignition low");
        return false;
    }
    TraceLine(handle, "(EBD ) ModuleBootNormalMode: wait, don't disturb - the firmware re-programs the MXDP!...");
    os.sleepMs(kReprogramMs);
    TraceLine(handle, "(EBD ) ModuleBootNormalMode: wait for mobile to switch on...");
    const bool answered = WaitForTargetSerialModeOtherThan(handle, SerialModeNone | SerialModeError);
    TraceLine(handle, "(EBD ) ModuleBootNormalMode: Set Ignition high / DTR logical low");
    if (!SetIgnition(handle, false)) {
        TraceLine(handle, "(EBD ) ModuleBootNormalMode: cannot set ignition high ");
        return false;
    }
    if (!answered) {
        TraceLine(handle, "(EBD ) ModuleBootNormalMode fails: No Communication with module!?");
        return false;
    }
    TraceLine(handle, "(EBD ) ModuleBootNormalMode: O.K.");
    return true;
}

bool ModuleBootServiceMode(uint32_t handle) {
    platform::Platform& os = platform::current();
    SkipPendingInput(handle);
    SetLineBootloader(handle);
    TraceLine(handle, "(EBD ) ModuleBootServiceMode: Set Ignition low / DTR logical high");
    if (!SetIgnition(handle, true)) {
        TraceLine(handle, "(EBD ) ModuleBootServiceMode: cannot set ignition low");
        return false;
    }

    TraceLine(handle, "(EBD ) ModuleBootServiceMode: send/rec pattern...");
    bool patternAnswered = false;
    for (int attempt = 0; attempt < kPatternAttempts && !patternAnswered; ++attempt) {
        const uint8_t status = PortWrite(handle, &kPattern, 1);
        if (status != kLinkDone) {
            Trace(handle, "(EBD ) ModuleBootServiceMode: could not send initial pattern (%d)", status);
            return false;
        }
        SetReadTimeoutClass(handle, 1);
        uint8_t answer = 0;
        patternAnswered = PortRead(handle, &answer, 1) == kLinkDone && answer == kPatternAnswer;
    }
    if (!patternAnswered) {
        TraceLine(handle, "(EBD ) ModuleBootServiceMode: no valid pattern answer");
        return false;
    }

    os.sleepMs(10);
    TraceLine(handle, "(EBD ) ModuleBootServiceMode: get bootloader version...");
    bool versionKnown = false;
    uint8_t status = SetReadTimeoutClass(handle, 2);
    for (int attempt = 0; attempt < kVersionAttempts && status == kLinkDone; ++attempt) {
        status = PortWrite(handle, kVersionCommand.data(), kVersionCommand.size());
        if (status != kLinkDone) {
            TraceLine(handle, "(EBD ) ModuleBootServiceMode: could not send version cmd");
            break;
        }
        uint8_t ack = 0;
        status = PortRead(handle, &ack, 1);
        if (status != kLinkDone || ack != kBootAck) {
            Trace(handle, "(EBD ) ModuleBootServiceMode: no/unexpected response err %d, response 0x%x", status, ack);
            continue;
        }
        std::array<uint8_t, 11> answer{};
        status = PortRead(handle, answer.data(), answer.size());
        if (status != kLinkDone || answer[6] != 0xFF || answer[7] != 0x07) continue;
        status = PortWrite(handle, &kBootAck, 1);
        versionKnown = true;
        Trace(handle, "(EBD ) ModuleBootServiceMode: Bootloader version V%c.%c", answer[8] + 0x30, answer[9] + 0x30);
        break;
    }
    if (status != kLinkDone) {
        Trace(handle, "(EBD ) ModuleBootServiceMode: could not get bootloader version (%d)", status);
        return false;
    }
    if (!versionKnown) TraceLine(handle, "(EBD ) ModuleBootServiceMode: Bootloader version V0.4 or below");

    TraceLine(handle, "(EBD ) ModuleBootServiceMode: send boot command...");
    status = PortWrite(handle, kBootCommand.data(), kBootCommand.size());
    if (status != kLinkDone) {
        Trace(handle, "(EBD ) ModuleBootServiceMode: could not send boot command (%d)", status);
        return false;
    }
    TraceLine(handle, "(EBD ) ModuleBootServiceMode: receive boot confirmation...");
    SetReadTimeoutClass(handle, 2);
    bool confirmed = false;
    for (int read = 0; read < kBootConfirmReads && !confirmed; ++read) {
        uint8_t ack = 0;
        confirmed = PortRead(handle, &ack, 1) == kLinkDone && ack == kBootAck;
    }
    if (!confirmed) {
        TraceLine(handle, "(EBD ) ModuleBootServiceMode: no boot command confirmation");
        return false;
    }

    TraceLine(handle, "(EBD ) ModuleBootServiceMode: wait, don't disturb - the firmware re-programs the MXDP!...");
    os.sleepMs(kReprogramMs);
    SetLineRunDtrOn(handle);
    TraceLine(handle, "(EBD ) ModuleBootServiceMode: wait for mobile to switch on...");
    const bool answered = WaitForTargetSerialModeOtherThan(handle, SerialModeNone | SerialModeError);
    TraceLine(handle, "(EBD ) ModuleBootServiceMode: Set Ignition high / DTR logical low");
    if (!SetIgnition(handle, false)) {
        TraceLine(handle, "(EBD ) ModuleBootServiceMode: cannot set ignition high ");
        return false;
    }
    SetLineRunDtrOff(handle);
    if (!answered) {
        TraceLine(handle, "(EBD ) ModuleBootServiceMode fails: No Communication with Module!?");
        return false;
    }
    TraceLine(handle, "(EBD ) ModuleBootServiceMode: O.K.");
    return true;
}

bool SwitchSerialToNOMIMode(uint32_t handle, uint8_t serviceMode) {
    platform::Platform& os = platform::current();
    TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: get target serial mode...");
    uint8_t mode = GetTargetSerialMode(handle);
    if ((mode & (SerialModeNone | SerialModeError)) != 0) {
        bool booted;
        if (serviceMode == 0) {
            TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: mobile seems to be off, switch on in normal mode...");
            booted = ModuleBootNormalMode(handle);
        } else {
            TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: mobile seems to be off, switch on in service mode...");
            booted = ModuleBootServiceMode(handle);
        }
        if (!booted) {
            TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode fails: could not start module");
            return false;
        }
        mode = GetTargetSerialMode(handle);
    }
    if (mode == SerialModeNomi) {
        TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: target serial in NOMI mode, O.K.");
        return true;
    }

    std::array<uint8_t, 16> answer;
    bool switched = false;
    for (int attempt = 0; attempt < kModeSwitchAttempts && !switched; ++attempt) {
        SkipPendingInput(handle);
        TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: target serial in AT mode, sending at^xqwe=1");
        SendBlockProlog(handle);
        const uint8_t status = PortWrite(handle, kModeSwitch.data(), kModeSwitch.size());
        StampSendTime(handle);
        if (status != kLinkDone) {
            Trace(handle, "(EBD ) SwitchSerialToNOMIMode fails: could not send (%d)", status);
            return false;
        }
        os.sleepMs(100);
        TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: check for echo...");
        bool good = CheckResponse(handle, answer.data(), kModeSwitch.data(), kModeSwitch.size());
        if (good) {
            TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: check for answer...");
            good = CheckResponse(handle, answer.data(), kModeSwitchAnswer.data(), kModeSwitchAnswer.size());
        }
        if (good) {
            switched = true;
        } else {
            os.sleepMs(500);
        }
    }
    if (!switched) {
        TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode fails: at^xqwe=1 not correctly answered");
        return false;
    }
    TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: target serial entering NOMI mode...");
    if (!WaitForTargetSerialMode(handle, SerialModeNomi)) {
        TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode fails: NOMI mode not reached!?");
        return false;
    }
    TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: target serial successfully switched to NOMI mode");
    SkipPendingInput(handle);
    TraceLine(handle, "(EBD ) SwitchSerialToNOMIMode: O.K.");
    return true;
}

}  // namespace ebd
