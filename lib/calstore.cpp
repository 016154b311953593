// The calibration store operations: each files one measured value into its
// place in the port's calibration record and marks the item. None of them
// talks to the module.
#include "lib/calstore.h"

#include <array>
#include <cstring>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "lib/port_state.h"
#include "rpc/ebdmsgs.h"

namespace ebd::calstore {

namespace {

using msg::Put16;
using msg::Put32;

constexpr int kBands = 4;
constexpr size_t kAgcWords = 26;
constexpr size_t kScalingWords = 32;

constexpr size_t kAutocalibrationSize = 4;

constexpr uint32_t kAfcConstant = 381023;
constexpr uint16_t kAfcLimit = 8191;

Records& RecordsOf(uint32_t handle) {
    return LibPort(handle).records;
}

// The offset-pair and AM-loop records hold band 3 first, then bands 0, 1, 2.
constexpr size_t BandSlot(uint8_t band) {
    return static_cast<size_t>((band + 1) % kBands);
}

bool BandOk(uint32_t handle, const char* name, uint8_t band) {
    if (band < kBands) return true;
    Fail(handle, EBD_ERR_INVALID_BAND, "(EBD ) %s: invalid band %d", name, band);
    return false;
}

bool ModulationOk(uint32_t handle, const char* name, uint8_t modulation) {
    if (modulation <= 1) return true;
    Fail(handle, EBD_ERR_MODULATION, "(EBD ) %s: invalid modulation mode %d", name, modulation);
    return false;
}

int32_t Stored(uint32_t handle, const char* name, uint32_t bit) {
    LibraryPort& entry = LibPort(handle);
    entry.storedCalibrationItems |= bit;
    Trace(handle, "(EBD ) %s: O.K., storedCalibrationItems now 0x%08x", name, entry.storedCalibrationItems);
    return 1;
}

constexpr uint32_t Bit(uint8_t id) {
    return 1u << id;
}

void PutWords(uint8_t* record, size_t offset, const uint16_t* words, size_t count) {
    for (size_t i = 0; i < count; ++i) Put16(record, offset + 2 * i, words[i]);
}

}  // namespace

size_t ItemSize(uint8_t id) {
    switch (id) {
        case kAgcGainWords:
        case kAgcAccurateValues:
            return kAgcSize;
        case kAfc:
            return kAfcSize;
        case kGmskScalingFactors:
        case k8pskScalingFactors:
            return kScalingSize;
        case kAmLoopOffsets:
        case kTxIqOffsets:
        case kTxDacOffsets:
            return kOffsetsSize;
        case kTxDcAutocalibrationIqOffsets:
            return kAutocalibrationSize;
        default:
            return 0;
    }
}

size_t ItemImage(int port, uint8_t id, uint8_t* out) {
    if (port < 1 || port > kMaxPort || out == nullptr) return 0;
    const LibraryPort& entry = LibraryPortOf(port);
    const Records& records = entry.records;
    const auto copy = [out](const auto& record) {
        std::memcpy(out, record.data(), record.size());
        return record.size();
    };
    switch (id) {
        case kAgcGainWords:
            return copy(records.agcGainWords);
        case kAgcAccurateValues:
            return copy(records.agcAccurateValues);
        case kAfc:
            return copy(records.afc);
        case kGmskScalingFactors:
            return copy(records.gmskScalingFactors);
        case k8pskScalingFactors:
            return copy(records.epskScalingFactors);
        case kAmLoopOffsets:
            return copy(records.amLoopOffsets);
        case kTxDacOffsets:
            return copy(records.txDacOffsets);
        case kTxIqOffsets:
            // GMSK pairs for bands 3, 0, 1, 2, then the 8PSK pairs; I before Q.
            for (uint8_t band = 0; band < kBands; ++band) {
                const size_t gmsk = 2 * BandSlot(band);
                out[gmsk] = entry.gmskTxIq[band].i;
                out[gmsk + 1] = entry.gmskTxIq[band].q;
                out[8 + gmsk] = entry.epskTxIq[band].i;
                out[8 + gmsk + 1] = entry.epskTxIq[band].q;
            }
            return kOffsetsSize;
        case kTxDcAutocalibrationIqOffsets:
            Put16(out, 0, static_cast<uint16_t>(entry.autoCalIq[0]));
            Put16(out, 2, static_cast<uint16_t>(entry.autoCalIq[1]));
            return kAutocalibrationSize;
        default:
            return 0;
    }
}

}  // namespace ebd::calstore

using namespace ebd;
using namespace ebd::calstore;

extern "C" int32_t WOrreryStoreCalibrationDataAFC(EBDHandle handle, uint32_t slope, uint16_t nominalValue) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WOrreryStoreCalibrationDataAFC(slope=0x%08x, nominalValue=0x%04x)", slope,
          nominalValue);
    auto& afc = RecordsOf(handle).afc;
    Put32(afc.data(), 0, kAfcConstant);
    Put32(afc.data(), 4, slope);
    Put16(afc.data(), 8, nominalValue);
    Put16(afc.data(), 10, 0);
    Put16(afc.data(), 12, kAfcLimit);
    Put16(afc.data(), 14, 0);
    return Stored(handle, "WOrreryStoreCalibrationDataAFC", Bit(kAfc));
}

extern "C" int32_t WOrreryStoreCalibrationDataTxIQOffsets(EBDHandle handle, uint8_t band, uint8_t modulation,
                                                          uint8_t txIOffset, uint8_t txQOffset) {
    if (!HandleValid(handle)) return 0;
    constexpr const char* kName = "WOrreryStoreCalibrationDataTxIQOffsets";
    Trace(handle,
          "(EBD ) WOrreryStoreCalibrationDataTxIQOffsets(band=%d, modulation=%d, txIOffset=%d, txQOffset=%d)",
          band, modulation, txIOffset, txQOffset);
    if (!ModulationOk(handle, kName, modulation) || !BandOk(handle, kName, band)) return 0;
    LibraryPort& entry = LibPort(handle);
    IqPair& gmsk = entry.gmskTxIq[band];
    if (modulation == 1) {
        // The 8PSK value is the better one: it stands for GMSK too.
        TraceLine(handle,
                  "(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: storing 8PSK values for GMSK also...");
        entry.epskTxIq[band] = {txIOffset, txQOffset};
        gmsk = {txIOffset, txQOffset};
    } else if (gmsk.i == kNotStored) {
        TraceLine(handle,
                  "(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: storing GMSK value since not stored yet");
        gmsk = {txIOffset, txQOffset};
    } else {
        TraceLine(handle,
                  "(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: skipping GMSK value since already stored");
    }
    return Stored(handle, kName, Bit(kTxIqOffsets));
}

extern "C" int32_t WOrreryStoreCalibrationDataScalingFactors(EBDHandle handle, uint8_t band,
                                                             uint8_t modulation,
                                                             const uint16_t* scalingFactorArray) {
    if (!HandleValid(handle) || scalingFactorArray == nullptr) return 0;
    constexpr const char* kName = "WOrreryStoreCalibrationDataScalingFactors";
    Trace(handle, "(EBD ) WOrreryStoreCalibrationDataScalingFactors(band=%d, modulation=%d)", band,
          modulation);
    TraceHexWords(handle, "(EBD ) WOrreryStoreCalibrationDataScalingFactors: scalingFactorArray ->",
                  scalingFactorArray, static_cast<int32_t>(kScalingWords));
    if (!ModulationOk(handle, kName, modulation) || !BandOk(handle, kName, band)) return 0;
    Records& records = RecordsOf(handle);
    auto& record = modulation == 0 ? records.gmskScalingFactors : records.epskScalingFactors;
    PutWords(record.data(), 2 * kScalingWords * band, scalingFactorArray, kScalingWords);
    return Stored(handle, kName, Bit(modulation == 0 ? kGmskScalingFactors : k8pskScalingFactors));
}

extern "C" int32_t WOrreryStoreCalibrationDataAMLoopOffsets(EBDHandle handle, uint8_t band,
                                                            uint8_t aMLoopOffsetValue) {
    if (!HandleValid(handle)) return 0;
    constexpr const char* kName = "WOrreryStoreCalibrationDataAMLoopOffsets";
    Trace(handle, "(EBD ) WOrreryStoreCalibrationDataAMLoopOffsets(band=%d, aMLoopOffsetValue=%d)", band,
          aMLoopOffsetValue);
    if (!BandOk(handle, kName, band)) return 0;
    Put32(RecordsOf(handle).amLoopOffsets.data(), 4 * BandSlot(band), aMLoopOffsetValue);
    return Stored(handle, kName, Bit(kAmLoopOffsets));
}

extern "C" int32_t WOrreryStoreCalibrationDataAGCGainWords(EBDHandle handle, uint8_t band,
                                                           const uint16_t* agcControlCodeArray) {
    if (!HandleValid(handle) || agcControlCodeArray == nullptr) return 0;
    constexpr const char* kName = "WOrreryStoreCalibrationDataAGCGainWords";
    Trace(handle, "(EBD ) WOrreryStoreCalibrationDataAGCGainWords(band=%d)", band);
    TraceHexWords(handle, "(EBD ) WOrreryStoreCalibrationDataAGCGainWords: agcControlCodeArray ->",
                  agcControlCodeArray, static_cast<int32_t>(kAgcWords));
    if (!BandOk(handle, kName, band)) return 0;
    PutWords(RecordsOf(handle).agcGainWords.data(), 2 * kAgcWords * band, agcControlCodeArray, kAgcWords);
    return Stored(handle, kName, Bit(kAgcGainWords));
}

extern "C" int32_t WOrreryStoreCalibrationDataAGCAccurateValues(EBDHandle handle, uint8_t band,
                                                                const uint16_t* agcAccurateValueArray) {
    if (!HandleValid(handle) || agcAccurateValueArray == nullptr) return 0;
    constexpr const char* kName = "WOrreryStoreCalibrationDataAGCAccurateValues";
    Trace(handle, "(EBD ) WOrreryStoreCalibrationDataAGCAccurateValues(band=%d)", band);
    TraceHexWords(handle, "(EBD ) WOrreryStoreCalibrationDataAGCAccurateValues: agcAccurateValueArray ->",
                  agcAccurateValueArray, static_cast<int32_t>(kAgcWords));
    if (!BandOk(handle, kName, band)) return 0;
    PutWords(RecordsOf(handle).agcAccurateValues.data(), 2 * kAgcWords * band, agcAccurateValueArray,
             kAgcWords);
    return Stored(handle, kName, Bit(kAgcAccurateValues));
}

extern "C" int32_t WOrreryStoreCalibrationDataTxDacOffsets(EBDHandle handle, uint8_t band, uint8_t modulation,
                                                           uint16_t txDacOffsetValue) {
    if (!HandleValid(handle)) return 0;
    constexpr const char* kName = "WOrreryStoreCalibrationDataTxDacOffsets";
    Trace(handle,
          "(EBD ) WOrreryStoreCalibrationDataTxDacOffsets(band=%d, modulation %d, txDacOffsetValue=0x%x)",
          band, modulation, txDacOffsetValue);
    if (!BandOk(handle, kName, band) || !ModulationOk(handle, kName, modulation)) return 0;
    // Per band the GMSK word, then the 8PSK word.
    Put16(RecordsOf(handle).txDacOffsets.data(), 4 * static_cast<size_t>(band) + 2 * modulation,
          txDacOffsetValue);
    return Stored(handle, kName, Bit(kTxDacOffsets));
}

extern "C" int32_t WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(EBDHandle handle, int16_t iOffset,
                                                                         int16_t qOffset) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(iOffset=%d, qOffset=%d)",
          iOffset, qOffset);
    LibPort(handle).autoCalIq = {iOffset, qOffset};
    return Stored(handle, "WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets",
                  Bit(kTxDcAutocalibrationIqOffsets));
}
