// Burst data, power ramp and circuit-switched TDMA frame: the burst store and
// the operations that fill it and send bursts to the module.
#include <algorithm>

#include "lib/burst_patterns.h"
#include "lib/burst_store.h"
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "lib/port_state.h"
#include "rpc/ebdrpc_burst.h"

namespace ebd::burst {

std::array<uint16_t, kGmskWords>& GmskStore(int port) {
    return LibraryPortOf(port).gmskBurst;
}

std::array<uint16_t, k8pskWords>& EpskStore(int port) {
    return LibraryPortOf(port).epskBurst;
}

}  // namespace ebd::burst

namespace ebd {

namespace {

constexpr uint8_t k8psk = 1;
// Bit 7 of the power level: the ramp scale factor applies.
constexpr uint8_t kScaledPowerLevel = 0x80;

}  // namespace

}  // namespace ebd

using namespace ebd;
using namespace ebd::burst;

extern "C" int32_t WSetBurstData(EBDHandle handle, const uint16_t* burstData, uint8_t modulation) {
    if (!HandleValid(handle) || burstData == nullptr) return 0;
    Trace(handle, "(EBD ) WSetBurstData(burstData, modulation=%d)", modulation);
    const int port = PortOfHandle(handle);
    if (modulation != 0) {
        TraceHexWords(handle, "(EBD ) WSetBurstData: burstData ->", burstData,
                      static_cast<int32_t>(k8pskWords));
        std::copy_n(burstData, k8pskWords, EpskStore(port).begin());
    } else {
        TraceHexWords(handle, "(EBD ) WSetBurstData: burstData ->", burstData,
                      static_cast<int32_t>(kGmskWords));
        std::copy_n(burstData, kGmskWords, GmskStore(port).begin());
    }
    TraceLine(handle, "(EBD ) WSetBurstData: call EBDRPCCalDevGsmSetBurstData()...");
    return FinishCall(handle, "WSetBurstData", "EBDRPCCalDevGsmSetBurstData",
                      EBDRPCCalDevGsmSetBurstData(handle, burstData));
}

extern "C" int32_t WSetEbdBurstDataMode(EBDHandle handle, uint8_t dataMode, uint8_t tsc, uint8_t modulation) {
    if (!HandleValid(handle)) return 0;
    const int port = PortOfHandle(handle);
    const bool epsk = modulation == k8psk;
    Trace(handle, "(EBD ) WSetEbdBurstDataMode(dataMode=%d, tsc=%d, modulation=%d)", dataMode, tsc,
          modulation);
    // The remote call always carries 30 words; behind a GMSK burst they are zero.
    std::array<uint16_t, kBurstDataWords> sent{};
    if (epsk) {
        auto& store = EpskStore(port);
        GenerateBurst(dataMode, tsc, true, store);
        TraceHexWords(handle, "(EBD ) WSetEbdBurstDataMode: burstData ->", store.data(),
                      static_cast<int32_t>(store.size()));
        std::copy(store.begin(), store.end(), sent.begin());
    } else {
        auto& store = GmskStore(port);
        GenerateBurst(dataMode, tsc, false, store);
        TraceHexWords(handle, "(EBD ) WSetEbdBurstDataMode: burstData ->", store.data(),
                      static_cast<int32_t>(store.size()));
        std::copy(store.begin(), store.end(), sent.begin());
    }
    TraceLine(handle, "(EBD ) WSetEbdBurstDataMode: call EBDRPCCalDevGsmSetBurstData()...");
    return FinishCall(handle, "WSetEbdBurstDataMode", "EBDRPCCalDevGsmSetBurstData",
                      EBDRPCCalDevGsmSetBurstData(handle, sent.data()));
}

extern "C" int32_t WSetPowerRamp(EBDHandle handle, const uint16_t* powerRamp) {
    if (!HandleValid(handle) || powerRamp == nullptr) return 0;
    TraceLine(handle, "(EBD ) WSetPowerRamp(powerRamp)");
    TraceHexWords(handle, "(EBD ) WSetPowerRamp: powerRamp ->", powerRamp,
                  static_cast<int32_t>(kPowerRampWords));
    TraceLine(handle, "(EBD ) WSetPowerRamp: call EBDRPCCalDevGsmSetPowerRamp()...");
    return FinishCall(handle, "WSetPowerRamp", "EBDRPCCalDevGsmSetPowerRamp",
                      EBDRPCCalDevGsmSetPowerRamp(handle, powerRamp));
}

extern "C" int32_t WSetRampScaleFactor(EBDHandle handle, uint16_t scaleFactor) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetRampScaleFactor(scaleFactor=%d)", scaleFactor);
    TraceLine(handle, "(EBD ) WSetRampScaleFactor: call EBDRPCCalDevGsmRampScale()...");
    return FinishCall(handle, "WSetRampScaleFactor", "EBDRPCCalDevGsmRampScale",
                      EBDRPCCalDevGsmRampScale(handle, scaleFactor));
}

extern "C" int32_t WSetCircuitSwitchedTDMAFrame(EBDHandle handle, uint8_t burstType, const uint8_t* burstOn,
                                                const uint16_t* channel, const uint16_t* gain,
                                                uint8_t burst2Type, uint8_t timingAdvance, uint8_t rachData,
                                                uint8_t powerLevel, uint16_t scaleFactor) {
    if (!HandleValid(handle) || burstOn == nullptr || channel == nullptr || gain == nullptr) return 0;
    TraceLine(handle, "(EBD ) WSetCircuitSwitchedTDMAFrame(");
    Trace(handle, "         burstType=%d, burstOn[], channel[], gain[], burst2Type=%d,", burstType,
          burst2Type);
    Trace(handle, "         timingAdvance=%d, rachData=0x%02x, powerLevel=%d, scaleFactor=%d)", timingAdvance,
          rachData, powerLevel, scaleFactor);
    TraceHexBytes(handle, "(EBD ) WSetCircuitSwitchedTDMAFrame: burstOn ->", burstOn, 4);
    TraceHexWords(handle, "(EBD ) WSetCircuitSwitchedTDMAFrame: channel ->", channel, 4);
    TraceHexWords(handle, "(EBD ) WSetCircuitSwitchedTDMAFrame: gain ->", gain, 4);
    if (scaleFactor != 0) {
        Trace(handle, "(EBD ) WSetCircuitSwitchedTDMAFrame: call WSetRampScaleFactor(scaleFactor=%d)",
              scaleFactor);
        // A failure has left its own last error and trace line; the frame goes all the same.
        WSetRampScaleFactor(handle, scaleFactor);
        powerLevel = static_cast<uint8_t>(powerLevel | kScaledPowerLevel);
    }
    TraceLine(handle, "(EBD ) WSetCircuitSwitchedTDMAFrame: call EBDRPCCalDevGsmSetBurst()...");
    return FinishCall(handle, "WSetCircuitSwitchedTDMAFrame", "EBDRPCCalDevGsmSetBurst",
                      EBDRPCCalDevGsmSetBurst(handle, burstType, burstOn, channel, gain, burst2Type,
                                              timingAdvance, rachData, powerLevel));
}
