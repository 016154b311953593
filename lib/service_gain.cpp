// Band mode and gain programming: the port's dual-band mode and the band check
// it drives, gain program words and accurate values, and the gain-code table
// handed out one code at a time.
#include <array>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "lib/port_state.h"
#include "rpc/ebdrpc_service.h"

namespace ebd {

namespace {

enum GainOperation : uint8_t {
    kWriteGainProgramWord = 0,
    kReadGainProgramWord = 1,
    kWriteAccurateValue = 2,
};

// A dual-band mode permits one band of {0, 3} and one of {1, 2}; modes from 4
// on permit every band.
bool BandPermitted(uint8_t dualBandMode, uint8_t band) {
    if (dualBandMode >= 4) return true;
    const uint8_t lowGroupBand = (dualBandMode & 2) != 0 ? 3 : 0;
    const uint8_t highGroupBand = (dualBandMode & 1) != 0 ? 2 : 1;
    return band == lowGroupBand || band == highGroupBand;
}

// Stores error 12 and traces the operation's invalid-band line when the port's
// dual-band mode does not permit `band`.
bool CheckBand(uint32_t handle, const char* operation, uint8_t band) {
    const uint8_t mode = LibPort(handle).dualBandMode;
    if (BandPermitted(mode, band)) return true;
    Fail(handle, EBD_ERR_INVALID_BAND, "(EBD ) %s: invalid band %d (current DualBandMode %d)", operation,
         band, mode);
    return false;
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WSetCurrentDualBandMode(EBDHandle handle, uint8_t bandMode) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetCurrentDualBandMode(bandMode=%d)", bandMode);
    TraceLine(handle, "(EBD ) WSetCurrentDualBandMode: call EBDRPCCalDevGsmSetBandMode...");
    const uint16_t error = EBDRPCCalDevGsmSetBandMode(handle, bandMode);
    if (error != 0) return CallFailed(handle, "WSetCurrentDualBandMode", "EBDRPCCalDevGsmSetBandMode", error);
    LibPort(handle).dualBandMode = bandMode;
    TraceLine(handle, "(EBD ) WSetCurrentDualBandMode: O.K.");
    return 1;
}

extern "C" int32_t WSetGainProgramWord(EBDHandle handle, uint16_t gainProgramWord, uint8_t band,
                                       uint8_t gainIndex) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetGainProgramWord(gainProgramWord=0x%04x, gainIndex=%d, band=%d)",
          gainProgramWord, gainIndex, band);
    if (!CheckBand(handle, "WSetGainProgramWord", band)) return 0;
    TraceLine(handle, "(EBD ) WSetGainProgramWord: call EBDRPCCalDevGsmGainProgram()...");
    uint16_t scratch = 0;
    const uint16_t error =
        EBDRPCCalDevGsmGainProgram(handle, band, gainProgramWord, gainIndex, kWriteGainProgramWord, &scratch);
    if (error != 0) return CallFailed(handle, "WSetGainProgramWord", "EBDRPCCalDevGsmGainProgram", error);
    TraceLine(handle, "(EBD ) WSetGainProgramWord: O.K.");
    return 1;
}

extern "C" int32_t WGetGainProgramWord(EBDHandle handle, uint8_t gainIndex, uint8_t band,
                                       uint16_t* pGainProgramWord) {
    if (!HandleValid(handle) || pGainProgramWord == nullptr) return 0;
    Trace(handle, "(EBD ) WGetGainProgramWord(gainIndex=%d, band=%d, pGainProgramWord)", gainIndex, band);
    if (!CheckBand(handle, "WGetGainProgramWord", band)) return 0;
    TraceLine(handle, "(EBD ) WGetGainProgramWord: call EBDRPCCalDevGsmGainProgram()...");
    const uint16_t error =
        EBDRPCCalDevGsmGainProgram(handle, band, 0, gainIndex, kReadGainProgramWord, pGainProgramWord);
    if (error != 0) return CallFailed(handle, "WGetGainProgramWord", "EBDRPCCalDevGsmGainProgram", error);
    Trace(handle, "(EBD ) WGetGainProgramWord: rets *pGainProgramWord 0x%04x", *pGainProgramWord);
    TraceLine(handle, "(EBD ) WGetGainProgramWord: O.K.");
    return 1;
}

extern "C" int32_t WSetAccurateValue(EBDHandle handle, uint16_t accurateValue, uint8_t band,
                                     uint8_t gainIndex) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetAccurateValue(accurateValue=0x%04x, gainIndex=%d, band=%d)", accurateValue,
          gainIndex, band);
    if (!CheckBand(handle, "WSetAccurateValue", band)) return 0;
    TraceLine(handle, "(EBD ) WSetAccurateValue: call EBDRPCCalDevGsmGainProgram()...");
    uint16_t scratch = 0;
    const uint16_t error =
        EBDRPCCalDevGsmGainProgram(handle, band, accurateValue, gainIndex, kWriteAccurateValue, &scratch);
    if (error != 0) {
        return Fail(handle, error, "(EBD ) WSetAccurateValue: EBDRPCCalDevGsmGainProgram with error %d",
                    error);
    }
    TraceLine(handle, "(EBD ) WSetAccurateValue: O.K.");
    return 1;
}

extern "C" int32_t WInitGainCodeTemplates(EBDHandle handle, uint8_t band, uint8_t gainIndex) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WInitGainCodeTemplates(gainIndex=%d, band=%d)", gainIndex, band);
    TraceLine(handle, "(EBD ) WInitGainCodeTemplates call EBDRPCGetGainCodeTable()...");
    LibraryPort& table = LibPort(handle);
    // Received into a copy, so that a failure leaves the port's table as it was.
    std::array<uint16_t, kGainCodeTableEntries> codes = table.gainCodes;
    uint16_t count = 0;
    const uint16_t error =
        EBDRPCGetGainCodeTable(handle, band, gainIndex, codes.data(), kGainCodeTableEntries, &count);
    if (error != 0) return CallFailed(handle, "WInitGainCodeTemplates", "EBDRPCGetGainCodeTemplate", error);
    table.gainCodes = codes;
    table.gainCodeIndex = 0;
    table.gainCodeTableSize = count;
    Trace(handle, "(EBD ) WInitGainCodeTemplates: successfully received %d gainCodes", count);
    TraceLine(handle, "(EBD ) WInitGainCodeTemplates: O.K.");
    return 1;
}

extern "C" int32_t WGetNextGainCode(EBDHandle handle, uint16_t* pGainCode) {
    if (!HandleValid(handle) || pGainCode == nullptr) return 0;
    LibraryPort& table = LibPort(handle);
    const uint16_t size = table.gainCodeTableSize;
    Trace(handle, "(EBD ) WGetNextGainCode(), current tableIndex %d, table size %d", table.gainCodeIndex,
          size);
    if (table.gainCodeIndex >= size || table.gainCodeIndex >= kGainCodeTableEntries) {
        Trace(handle, "(EBD ) WGetNextGainCode: index %d too large", table.gainCodeIndex);
        return 0;
    }
    *pGainCode = table.gainCodes[table.gainCodeIndex];
    ++table.gainCodeIndex;
    Trace(handle, "(EBD ) WGetNextGainCode: returning 0x%x", *pGainCode);
    TraceLine(handle, "(EBD ) WGetNextGainCode: O.K.");
    return 1;
}
