// Register access of the module's baseband chip, and the two operations built
// on it: the Tx I/Q offsets and the AM loop offset with its ramp DAC.
#include <array>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "rpc/ebdrpc_service.h"

namespace ebd {

namespace {

constexpr int32_t kBbcEntries = 8;
using Registers = std::array<uint16_t, kBbcEntries>;

// Two mask bits per entry: 1 writes the entry's value, 2 reads its register.
// Read-read, write-write, read-read: old values in entries 0 and 1, new ones
// in entries 4 and 5.
constexpr uint16_t kReadWriteRead = 0xA5A;
constexpr uint16_t kReadTwo = 0xA;

// Baseband registers.
constexpr uint16_t kTxIOffset = 3;
constexpr uint16_t kTxQOffset = 4;
constexpr uint16_t kTxControl2 = 1;
constexpr uint16_t kRampDac = 10;
constexpr uint16_t kTxControl2AmLoop = 0x80;

constexpr uint8_t kMaxAMLoopOffset = 63;
constexpr uint16_t kMaxRampDacValue = 1023;

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WBBCRegister(EBDHandle handle, uint16_t readWriteMask, const uint16_t* address,
                                const uint16_t* value, uint16_t* retValues) {
    if (!HandleValid(handle) || address == nullptr || value == nullptr || retValues == nullptr) return 0;
    Trace(handle, "(EBD ) WBBCRegister(readWriteMask=0x%x)", readWriteMask);
    TraceHexWords(handle, "(EBD ) WBBCRegister: address ->", address, kBbcEntries);
    TraceHexWords(handle, "(EBD ) WBBCRegister: value ->", value, kBbcEntries);
    TraceLine(handle, "(EBD ) WBBCRegister: call EBDRPCCalDevGsmBBCRegister()...");
    const uint16_t error = EBDRPCCalDevGsmBBCRegister(handle, readWriteMask, address, value, retValues);
    if (error != 0) return CallFailed(handle, "WBBCRegister", "EBDRPCCalDevGsmBBCRegister", error);
    TraceHexWords(handle, "(EBD ) WBBCRegister: rets *retValues ->", retValues, kBbcEntries);
    TraceLine(handle, "(EBD ) WBBCRegister: O.K.");
    return 1;
}

extern "C" int32_t WSetTxOffset(EBDHandle handle, uint8_t iTxOffset, uint8_t qTxOffset) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetTxOffset(iTxOffset=0x%04x qTxOffset=0x%04x )", iTxOffset, qTxOffset);
    const Registers address{kTxIOffset, kTxQOffset, kTxIOffset, kTxQOffset, kTxIOffset, kTxQOffset, 0, 0};
    const Registers value{0, 0, iTxOffset, qTxOffset, 0, 0, 0, 0};
    Registers ret{};
    TraceLine(handle, "(EBD ) WSetTxOffset: call WBBCRegister()...");
    if (WBBCRegister(handle, kReadWriteRead, address.data(), value.data(), ret.data()) != 1) {
        TraceLine(handle, "(EBD ) WSetTxOffset: WBBCRegister fails");
        return 0;
    }
    Trace(handle, "(EBD ) WSetTxOffset: rets old iTxOffset %x", ret[0]);
    Trace(handle, "(EBD ) WSetTxOffset: rets old qTxOffset %x", ret[1]);
    Trace(handle, "(EBD ) WSetTxOffset: rets new iTxOffset %x", ret[4]);
    Trace(handle, "(EBD ) WSetTxOffset: rets new qTxOffset %x", ret[5]);
    TraceLine(handle, "(EBD ) WSetTxOffset: O.K.");
    return 1;
}

extern "C" int32_t WSetAMLoopOffset(EBDHandle handle, uint8_t mode, uint16_t channel, uint8_t aMLoopOffset,
                                    uint16_t constTxValue, uint16_t rampDacValue) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetAMLoopOffset(mode=%d, channel=%d, aMLoopOffset=0x%x)", mode, channel,
          aMLoopOffset);
    if (aMLoopOffset > kMaxAMLoopOffset) {
        return Fail(handle, EBD_ERR_AM_LOOP_OFFSET, "(EBD ) WSetAMLoopOffset: invalid aMLoopOffset 0x%x",
                    aMLoopOffset);
    }
    if (rampDacValue > kMaxRampDacValue) {
        return Fail(handle, EBD_ERR_RAMP_DAC, "(EBD ) WSetAMLoopOffset: invalid rampDacValue 0x%x",
                    rampDacValue);
    }
    TraceLine(handle, "(EBD ) WSetAMLoopOffset: call EBDRPCCalDevGsmConstTx()...");
    const uint16_t error = EBDRPCCalDevGsmConstTx(handle, mode, channel, constTxValue, aMLoopOffset);
    if (error != 0) return CallFailed(handle, "WSetAMLoopOffset", "EBDRPCCalDevGsmConstTx", error);
    // The baseband registers are touched only for a non-zero mode.
    if (mode == 0) {
        TraceLine(handle, "(EBD ) WSetAMLoopOffset: O.K.");
        return 1;
    }

    const Registers readAddress{kTxControl2, kRampDac, 0, 0, 0, 0, 0, 0};
    const Registers none{};
    Registers ret{};
    TraceLine(handle, "(EBD ) WSetAMLoopOffset: call WBBCRegister() to read BBC regs...");
    if (WBBCRegister(handle, kReadTwo, readAddress.data(), none.data(), ret.data()) != 1) {
        TraceLine(handle, "(EBD ) WSetAMLoopOffset: WBBCRegister fails");
        return 0;
    }
    const uint16_t txControl2 = ret[0];
    Trace(handle, "(EBD ) WSetAMLoopOffset -> TxControl2:  0x%x", txControl2);
    Trace(handle, "(EBD ) WSetAMLoopOffset -> RampDac: 0x%x", ret[1]);

    const Registers address{kTxControl2, kRampDac, kTxControl2, kRampDac, kTxControl2, kRampDac, 0, 0};
    const Registers value{0, 0, static_cast<uint16_t>(txControl2 | kTxControl2AmLoop), rampDacValue, 0, 0,
                          0, 0};
    ret = Registers{};
    TraceLine(handle, "(EBD ) WSetAMLoopOffset: call WBBCRegister() to modify BBC regs...");
    if (WBBCRegister(handle, kReadWriteRead, address.data(), value.data(), ret.data()) != 1) {
        TraceLine(handle, "(EBD ) WSetAMLoopOffset: WBBCRegister fails");
        return 0;
    }
    Trace(handle, "(EBD ) WSetAMLoopOffset -> TxControl2 (before):  0x%x", ret[0]);
    Trace(handle, "(EBD ) WSetAMLoopOffset -> RampDac    (before):  0x%x", ret[1]);
    Trace(handle, "(EBD ) WSetAMLoopOffset -> TxControl2 (after):   0x%x", ret[4]);
    Trace(handle, "(EBD ) WSetAMLoopOffset -> RampDac    (after):   0x%x", ret[5]);
    TraceLine(handle, "(EBD ) WSetAMLoopOffset: O.K.");
    return 1;
}
