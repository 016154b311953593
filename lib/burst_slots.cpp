// GPRS logical slots and multiframes: the slot and frame definition records,
// the frame timing and the frame usage.
#include <array>

#include "lib/burst_patterns.h"
#include "lib/burst_store.h"
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "rpc/ebdmsgs.h"
#include "rpc/ebdrpc_burst.h"

namespace ebd {

namespace {

using msg::Put16;
using msg::Put8;
using SlotDefinition = std::array<uint8_t, kSlotDefinitionSize>;

// Slot types of the definition's first byte.
constexpr uint8_t kSlotUnused = 0;
constexpr uint8_t kSlotTxGmsk = 1;
constexpr uint8_t kSlotRxGmsk = 2;
constexpr uint8_t kSlotMon = 3;
constexpr uint8_t kSlotTx8psk = 4;
constexpr uint8_t kSlotRx8psk = 5;
constexpr uint8_t kSlotTxVariant = 6;

constexpr uint8_t kOtherPowerLevel = 5;
constexpr uint16_t kOtherGain = 40;
constexpr uint8_t kRxFiller = 0x74;
constexpr uint8_t kMonFiller = 0x75;
constexpr uint8_t kUnusedFiller = 0x76;
constexpr size_t kSlotBody = 4;

const char* ModulationText(uint8_t modulation) {
    return modulation == 0 ? "GMSK" : "8PSK";
}

// A slot without burst words: type, power level 5, gain, filler bytes.
SlotDefinition FilledSlot(uint8_t type, uint16_t gain, uint8_t filler) {
    SlotDefinition definition{};
    Put8(definition.data(), 0, type);
    Put8(definition.data(), 1, kOtherPowerLevel);
    Put16(definition.data(), 2, gain);
    for (size_t i = kSlotBody; i < definition.size(); ++i) definition[i] = filler;
    return definition;
}

int32_t DefineSlot(uint32_t handle, const char* operation, uint8_t slotNumber,
                   const SlotDefinition& definition) {
    Trace(handle, "(EBD ) %s: call EBDRPCCalDevGsmSlotDefine()...", operation);
    const uint16_t error = EBDRPCCalDevGsmSlotDefine(handle, slotNumber, definition.data());
    return FinishCall(handle, operation, "EBDRPCCalDevGsmSlotDefine", error);
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WConfigureGPRSLogicalRxSlot(EBDHandle handle, uint8_t slotNumber, uint16_t gain,
                                               uint8_t modulation) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WConfigureGPRSLogicalRxSlot(slotNumber=%d, gain=%d, modulation=%s)", slotNumber,
          gain, ModulationText(modulation));
    const SlotDefinition definition =
        FilledSlot(modulation == 1 ? kSlotRx8psk : kSlotRxGmsk, gain, kRxFiller);
    TraceHexBytes(handle, "(EBD ) WConfigureGPRSLogicalRxSlot: slotdefinition->", definition.data(),
                  static_cast<int32_t>(definition.size()));
    return DefineSlot(handle, "WConfigureGPRSLogicalRxSlot", slotNumber, definition);
}

extern "C" int32_t WConfigureGPRSLogicalTxSlot(EBDHandle handle, uint8_t slotNumber, uint8_t powerLevel,
                                               uint8_t modulation, uint8_t txVariant) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WConfigureGPRSLogicalTxSlot(slotNumber=%d, powerLevel=%d, modulation=%s)",
          slotNumber, powerLevel, ModulationText(modulation));
    uint8_t type = modulation == 1 ? kSlotTx8psk : kSlotTxGmsk;
    if (txVariant != 0) type = kSlotTxVariant;
    SlotDefinition definition{};
    Put8(definition.data(), 0, type);
    Put8(definition.data(), 1, powerLevel);
    Put16(definition.data(), 2, kOtherGain);
    // The store keeps the first bit in bit 15; the slot carries it in bit 0.
    // Behind a GMSK burst's 10 words the definition holds zero words.
    const int port = PortOfHandle(handle);
    std::array<uint16_t, kBurstDataWords> words{};
    if (modulation != 0) {
        const auto& store = burst::EpskStore(port);
        std::copy(store.begin(), store.end(), words.begin());
    } else {
        const auto& store = burst::GmskStore(port);
        std::copy(store.begin(), store.end(), words.begin());
    }
    for (size_t k = 0; k < words.size(); ++k)
        Put16(definition.data(), kSlotBody + 2 * k, burst::ReverseBits(words[k]));
    return DefineSlot(handle, "WConfigureGPRSLogicalTxSlot", slotNumber, definition);
}

extern "C" int32_t WConfigureGPRSLogicalMonSlot(EBDHandle handle, uint8_t slotNumber, uint16_t gain) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WConfigureGPRSLogicalMonSlot(%d, %d)", slotNumber, gain);
    return DefineSlot(handle, "WConfigureGPRSLogicalMonSlot", slotNumber,
                      FilledSlot(kSlotMon, gain, kMonFiller));
}

extern "C" int32_t WConfigureGPRSLogicalUnusedSlot(EBDHandle handle, uint8_t slotNumber) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WConfigureGPRSLogicalUnusedSlot(slotNumber=%d)", slotNumber);
    return DefineSlot(handle, "WConfigureGPRSLogicalUnusedSlot", slotNumber,
                      FilledSlot(kSlotUnused, kOtherGain, kUnusedFiller));
}

extern "C" int32_t WConfigureGPRSMultiFrame(EBDHandle handle, uint8_t frameNumber, const uint8_t* slotMapping,
                                            uint16_t rxChannel, uint16_t txChannel, uint16_t monChannel,
                                            int16_t frameAdvance, int16_t rxAdvance, int16_t txAdvance,
                                            int16_t monAdvance) {
    // Traced before the handle check: an invalid handle's line goes nowhere.
    TraceLine(handle, "(EBD ) WConfigureGPRSMultiFrame(");
    if (!HandleValid(handle) || slotMapping == nullptr) return 0;
    Trace(handle, "         frameNumber=%d, slotMapping[], rxChannel=%d, txChannel=%d, monChannel=%d",
          frameNumber, rxChannel, txChannel, monChannel);
    Trace(handle, "         frameAdvance=%d, rxAdvance=%d, txAdvance=%d, monAdvance=%d)", frameAdvance,
          rxAdvance, txAdvance, monAdvance);
    TraceHexBytes(handle, "(EBD ) WConfigureGPRSMultiFrame: slotMapping ->", slotMapping, 8);
    // The record holds Tx before Rx, unlike the parameters.
    std::array<uint8_t, kFrameDefinitionSize> definition{};
    for (size_t i = 0; i < 8; ++i) definition[i] = slotMapping[i];
    Put16(definition.data(), 8, txChannel);
    Put16(definition.data(), 10, rxChannel);
    Put16(definition.data(), 12, monChannel);
    Put16(definition.data(), 14, static_cast<uint16_t>(frameAdvance));
    Put16(definition.data(), 16, static_cast<uint16_t>(txAdvance));
    Put16(definition.data(), 18, static_cast<uint16_t>(rxAdvance));
    Put16(definition.data(), 20, static_cast<uint16_t>(monAdvance));
    TraceLine(handle, "(EBD ) WConfigureGPRSMultiFrame: call EBDRPCCalDevGsmFrameDefine()...");
    return FinishCall(handle, "WConfigureGPRSMultiFrame", "EBDRPCCalDevGsmFrameDefine",
                  EBDRPCCalDevGsmFrameDefine(handle, frameNumber, definition.data()));
}

extern "C" int32_t WChangeGPRSTiming(EBDHandle handle, uint8_t frameNumber, int16_t frameAdvance,
                                     int16_t rxAdvance, int16_t txAdvance, int16_t monAdvance) {
    if (!HandleValid(handle)) return 0;
    Trace(handle,
          "(EBD ) WChangeGPRSTiming(frameNumber=%d, frameAdvance=%d, rxAdvance=%d, txAdvance=%d, "
          "monAdvance=%d)",
          frameNumber, frameAdvance, rxAdvance, txAdvance, monAdvance);
    TraceLine(handle, "(EBD ) WChangeGPRSTiming: call EBDRPCCalDevGsmFrameTiming()...");
    return FinishCall(
        handle, "WChangeGPRSTiming", "EBDRPCCalDevGsmFrameTiming",
        EBDRPCCalDevGsmFrameTiming(handle, frameNumber, frameAdvance, rxAdvance, txAdvance, monAdvance));
}

extern "C" int32_t WSetGPRSUsage(EBDHandle handle, uint8_t mode) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetGPRSUsage(mode=%d)", mode);
    TraceLine(handle, "(EBD ) WSetGPRSUsage: call EBDRPCCalDevGsmFrameUse()...");
    return FinishCall(handle, "WSetGPRSUsage", "EBDRPCCalDevGsmFrameUse", EBDRPCCalDevGsmFrameUse(handle, mode));
}
