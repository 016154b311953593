// Measurement operations of the module's test mode: AFC and frequency offset,
// received power, the I/Q offsets in use, the precharge value.
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "lib/port_state.h"
#include "rpc/ebdrpc_service.h"

namespace ebd {

namespace {

// Frequency-burst status values of a burst the module found.
constexpr uint8_t kBurstFound = 1;
constexpr uint8_t kBurstFoundAgain = 2;

// Stored autocalibration offsets hold this value until something is stored.
constexpr int16_t kOffsetNotStored = 127;
constexpr uint32_t kAutoCalIqStored = 0x40000;

const char* TruthText(int32_t value) {
    return value != 0 ? "TRUE" : "FALSE";
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WSetAFC(EBDHandle handle, uint16_t value) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetAFC(value=0x%04x)", value);
    TraceLine(handle, "(EBD ) WSetAFC: call EBDRPCCalDevGsmSetAfcDac()...");
    const uint16_t error = EBDRPCCalDevGsmSetAfcDac(handle, value);
    if (error != 0) return CallFailed(handle, "WSetAFC", "EBDRPCCalDevGsmSetAfcDac", error);
    TraceLine(handle, "(EBD ) WSetAFC: O.K.");
    return 1;
}

extern "C" int32_t WSetAFCAndMeasure(EBDHandle handle, uint16_t arfcn, uint16_t value,
                                     int16_t* pFrequencyOffset) {
    if (!HandleValid(handle) || pFrequencyOffset == nullptr) return 0;
    Trace(handle, "(EBD ) WSetAFCAndMeasure(arfcn=%d, value=0x%04x, pFrequencyOffset)", arfcn, value);
    TraceLine(handle, "(EBD ) WSetAFCAndMeasure: call EBDRPCCalDevGsmFreqOffsetMeas()...");
    uint8_t status = 0;
    const uint16_t error = EBDRPCCalDevGsmFreqOffsetMeas(handle, arfcn, value, &status, pFrequencyOffset);
    if (error != 0) return CallFailed(handle, "WSetAFCAndMeasure", "EBDRPCCalDevGsmFreqOffsetMeas", error);
    Trace(handle, "(EBD ) WSetAFCAndMeasure: rets freqBurstStatus %d", status);
    if (status != kBurstFound && status != kBurstFoundAgain) {
        return Fail(handle, EBD_ERR_FREQUENCY_BURST,
                    "(EBD ) WSetAFCAndMeasure: EBDRPCCalDevGsmFreqOffsetMeas rets status %d, error %d",
                    status, EBD_ERR_FREQUENCY_BURST);
    }
    Trace(handle, "(EBD ) WSetAFCAndMeasure: rets *pFrequencyOffset %d", *pFrequencyOffset);
    TraceLine(handle, "(EBD ) WSetAFCAndMeasure: O.K.");
    return 1;
}

extern "C" int32_t WGetPowerValue(EBDHandle handle, uint16_t channel, uint16_t gain, int32_t applyAGCTabValue,
                                  int16_t* pRssiIn16thdB) {
    if (!HandleValid(handle) || pRssiIn16thdB == nullptr) return 0;
    Trace(handle, "(EBD ) WGetPowerValue(channel=%d, gain=%d, applyAGCTabValue=%s, pRssiIn16thdB)", channel,
          gain, TruthText(applyAGCTabValue));
    // Mode 0 applies the module's AGC table to the measurement, mode 1 does not.
    const uint8_t measurementMode = applyAGCTabValue != 0 ? 0 : 1;
    Trace(handle, "(EBD ) WGetPowerValue: applyAGCTabValue %s -> measurement mode %d",
          TruthText(applyAGCTabValue), measurementMode);
    TraceLine(handle, "(EBD ) WGetPowerValue: call EBDRPCCalDevGsmRssi()...");
    const uint16_t error = EBDRPCCalDevGsmRssi(handle, channel, gain, measurementMode, pRssiIn16thdB);
    if (error != 0) return CallFailed(handle, "WGetPowerValue", "EBDRPCCalDevGsmRssi", error);
    Trace(handle, "(EBD ) WGetPowerValue: rets *pRssiIn16thdB %d", *pRssiIn16thdB);
    TraceLine(handle, "(EBD ) WGetPowerValue: O.K.");
    return 1;
}

extern "C" int32_t WGetUsedIQOffsetValues(EBDHandle handle, int32_t measure, uint16_t* pIQOffsets) {
    if (!HandleValid(handle) || pIQOffsets == nullptr) return 0;
    Trace(handle, "(EBD ) WGetUsedIQOffsetValues(measure=%s, pIQOffsets)", TruthText(measure));
    TraceLine(handle, "(EBD ) WGetUsedIQOffsetValues: call EBDRPCCalDevGsmDcOffset()...");
    // Any true value goes out as 1, so that the module sees what the trace says.
    const uint16_t error = EBDRPCCalDevGsmDcOffset(handle, measure != 0 ? 1 : 0, pIQOffsets);
    if (error != 0) return CallFailed(handle, "WGetUsedIQOffsetValues", "EBDRPCCalDevGsmDcOffset", error);
    Trace(handle, "(EBD ) WGetUsedIQOffsetValues: rets rxIOffset %d", pIQOffsets[0]);
    Trace(handle, "(EBD ) WGetUsedIQOffsetValues: rets rxQOffset %d", pIQOffsets[1]);
    Trace(handle, "(EBD ) WGetUsedIQOffsetValues: rets txIOffset %d", pIQOffsets[2]);
    Trace(handle, "(EBD ) WGetUsedIQOffsetValues: rets txQOffset %d", pIQOffsets[3]);
    // The first measured Tx offsets of a session become the autocalibration
    // offsets that the calibration store writes to the module.
    LibraryPort& entry = LibPort(handle);
    if (measure != 0 && entry.autoCalIq[0] == kOffsetNotStored && entry.autoCalIq[1] == kOffsetNotStored) {
        entry.autoCalIq[0] = static_cast<int16_t>(pIQOffsets[2]);
        entry.autoCalIq[1] = static_cast<int16_t>(pIQOffsets[3]);
        entry.storedCalibrationItems |= kAutoCalIqStored;
    }
    TraceLine(handle, "(EBD ) WGetUsedIQOffsetValues: O.K.");
    return 1;
}

extern "C" int32_t WSetPrechargeValue(EBDHandle handle, uint16_t value) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WSetPrechargeValue(value=0x%04x)", value);
    TraceLine(handle, "(EBD ) WSetPrechargeValue: call EBDRPCSetPrechargeValue()...");
    const uint16_t error = EBDRPCSetPrechargeValue(handle, value);
    if (error != 0) return CallFailed(handle, "WSetPrechargeValue", "EBDRPCSetPrechargeValue", error);
    TraceLine(handle, "(EBD ) WSetPrechargeValue: O.K.");
    return 1;
}
