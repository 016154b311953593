// Serial-mode detection: raw test strings below the frame protocol tell
// whether the module's port speaks AT commands, NOMI, or nothing at all.
#include <array>
#include <cstring>

#include "lib/ebd_intern.h"
#include "link/gwcoml1.h"
#include "link/gwcoml2.h"

namespace ebd {

namespace {

constexpr uint8_t kFiller = 0xA5;
constexpr std::array<uint8_t, 3> kAtTest = {0x61, 0x74, 0x0D};
constexpr std::array<uint8_t, 4> kNomiTest = {0x02, 0x01, 0xD6, 0x0D};
constexpr int kDetectAttempts = 20;
constexpr uint32_t kDetectPauseMs = 100;

uint8_t Classify(uint32_t handle, const uint8_t* answer) {
    if (answer[0] == kNak) {
        TraceLine(handle, "(EBD ) GetTargetSerialMode: NAK received, target serial in NOMI mode");
        SkipResponse(handle, answer + 1, 15);
        return SerialModeNomi;
    }
    if (answer[0] == kAck || answer[0] == kStx) {
        TraceLine(handle, "(EBD ) GetTargetSerialMode: ACK or STX received, target serial in NOMI mode");
        SkipResponse(handle, answer + 1, 15);
        return SerialModeNomi;
    }
    if (answer[0] == 0x7D && answer[1] == 0x77) {
        TraceLine(handle,
                  "(EBD ) GetTargetSerialMode: special 'no communication at all' response for NOMI test string");
        return SerialModeNone;
    }
    TraceHexBytes(handle, "(EBD ) GetTargetSerialMode: got unknown protocol response ->", answer, 16);
    SkipResponse(handle, answer, 16);
    return SerialModeError;
}

}  // namespace

bool GetResponse(uint32_t handle, uint8_t* buffer, uint8_t length) {
    if (length == 0) return false;
    std::memset(buffer, kFiller, length);
    SetReadTimeoutClass(handle, 0);
    if (PortRead(handle, buffer, 1) != kLinkDone) return false;
    SetReadTimeoutClass(handle, 1);
    if (length > 1) PortRead(handle, buffer + 1, static_cast<uint8_t>(length - 1));
    // A slow sender gets a second chance to complete its answer.
    const void* gap = std::memchr(buffer, kFiller, length);
    if (gap != nullptr) {
        const auto p = static_cast<uint8_t>(static_cast<const uint8_t*>(gap) - buffer);
        PortRead(handle, buffer + p, static_cast<uint8_t>(length - p));
    }
    return true;
}

void SkipResponse(uint32_t handle, const uint8_t* buffer, uint8_t length) {
    const void* gap = std::memchr(buffer, kFiller, length);
    const auto received =
        gap == nullptr ? length : static_cast<uint8_t>(static_cast<const uint8_t*>(gap) - buffer);
    if (received > 0) SkipBytes(handle, buffer, received);
}

bool CheckResponse(uint32_t handle, uint8_t* buffer, const uint8_t* expected, uint8_t length) {
    if (!GetResponse(handle, buffer, length)) {
        TraceLine(handle, "(EBD ) CheckResponse: GetResponse failed");
        return false;
    }
    if (std::memcmp(buffer, expected, length) == 0) return true;
    TraceHexBytes(handle, "(EBD ) CheckResponse: expected response ->", expected, length);
    TraceHexBytes(handle, "(EBD ) CheckResponse: got response ->", buffer, length);
    SkipResponse(handle, buffer, length);
    return false;
}

uint8_t GetTargetSerialMode(uint32_t handle) {
    platform::Platform& os = platform::current();
    SkipPendingInput(handle);
    for (uint8_t byte : kAtTest) {
        SendBlockProlog(handle);
        const uint8_t status = PortWrite(handle, &byte, 1);
        StampSendTime(handle);
        os.sleepMs(10);
        if (status != kLinkDone) {
            Trace(handle, "(EBD ) GetTargetSerialMode: could not send (%d)", status);
            return SerialModeError;
        }
    }
    std::array<uint8_t, 16> answer;
    if (GetResponse(handle, answer.data(), answer.size())) {
        if (std::memcmp(answer.data(), kAtTest.data(), kAtTest.size()) == 0) {
            TraceLine(handle, "(EBD ) GetTargetSerialMode: AT echo received, target serial in AT mode");
            SkipResponse(handle, answer.data() + 3, 13);
            os.sleepMs(200);
            return SerialModeAt;
        }
        TraceLine(handle, "(EBD ) GetTargetSerialMode: Echo Response on AT not >AT<");
        return Classify(handle, answer.data());
    }
    TraceLine(handle, "(EBD ) GetTargetSerialMode: no response for AT  test string");

    SendBlockProlog(handle);
    const uint8_t status = PortWrite(handle, kNomiTest.data(), kNomiTest.size());
    StampSendTime(handle);
    if (status != kLinkDone) {
        Trace(handle, "(EBD ) GetTargetSerialMode: could not send (%d)", status);
        return SerialModeError;
    }
    if (!GetResponse(handle, answer.data(), answer.size())) {
        TraceLine(handle, "(EBD ) GetTargetSerialMode: no response for NOMI test string");
        return SerialModeNone;
    }
    return Classify(handle, answer.data());
}

bool WaitForTargetSerialMode(uint32_t handle, uint8_t mask) {
    uint8_t mode = 0;
    for (int attempt = 0; attempt < kDetectAttempts; ++attempt) {
        mode = GetTargetSerialMode(handle);
        if ((mode & mask) != 0) break;
        platform::current().sleepMs(kDetectPauseMs);
    }
    if ((mode & mask) != 0) return true;
    Trace(handle, "(EBD ) WaitForTargetSerialMode failed, is %d, should %d", mode, mask);
    return false;
}

bool WaitForTargetSerialModeOtherThan(uint32_t handle, uint8_t mask) {
    uint8_t mode = 0;
    for (int attempt = 0; attempt < kDetectAttempts; ++attempt) {
        mode = GetTargetSerialMode(handle);
        if ((mode & mask) == 0) break;
        platform::current().sleepMs(kDetectPauseMs);
    }
    if ((mode & mask) == 0) return true;
    Trace(handle, "(EBD ) WaitForTargetSerialModeOtherThan failed, is %d", mode);
    return false;
}

}  // namespace ebd
