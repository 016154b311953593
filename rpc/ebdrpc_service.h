// Remote calls behind the radio test, measurement, identity and security
// operations. Each returns a 16-bit error code (rpc/nomierr.h); outputs are
// written only on success unless a call says otherwise. A null output pointer
// is skipped; a null input pointer gives 1 (nothing is sent).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ebd {

// ---- Signal and measurement -------------------------------------------------
uint16_t EBDRPCCalDevGsmSetAfcDac(uint32_t handle, uint16_t value);
// Outputs both fields of the confirm; the burst status is judged by the caller.
uint16_t EBDRPCCalDevGsmFreqOffsetMeas(uint32_t handle, uint16_t arfcn, uint16_t value,
                                       uint8_t* freqBurstStatus, int16_t* frequencyOffset);
// operation: 0 writes a gain program word, 1 reads one, 2 writes an accurate value.
uint16_t EBDRPCCalDevGsmGainProgram(uint32_t handle, uint8_t band, uint16_t value, uint8_t gainIndex,
                                    uint8_t operation, uint16_t* result);
// Confirms with a foreign reference are passed over, at most
// kMaxForeignRssiConfirms of them; one more gives kRpcBadReference.
uint16_t EBDRPCCalDevGsmRssi(uint32_t handle, uint16_t channel, uint16_t gain, uint8_t measurementMode,
                             int16_t* rssi);
// offsets: 4 words, rxIOffset, rxQOffset, txIOffset, txQOffset.
uint16_t EBDRPCCalDevGsmDcOffset(uint32_t handle, uint8_t measure, uint16_t* offsets);
uint16_t EBDRPCCalDevGsmSetBandMode(uint32_t handle, uint8_t bandMode);
uint16_t EBDRPCCalDevGsmRxControl(uint32_t handle, uint8_t control, uint32_t parameter, uint8_t index);
uint16_t EBDRPCCalDevGsmLoopBack(uint32_t handle, uint8_t mode, uint16_t bch, uint16_t tch, uint8_t timeSlot,
                                 uint8_t tsc, uint8_t powerLevel);
uint16_t EBDRPCCalDevGsmLoopBackData(uint32_t handle, int16_t* timingOffsetQbits, int16_t* freqOffsetHz,
                                     uint16_t* bitErrors, uint16_t* softDecisionTotal, int16_t* rssi);
uint16_t EBDRPCCalDevGsmConstTx(uint32_t handle, uint8_t mode, uint16_t channel, uint16_t constTxValue,
                                uint32_t aMLoopOffset);
// addresses, values, retValues: 8 words each.
uint16_t EBDRPCCalDevGsmBBCRegister(uint32_t handle, uint16_t readWriteMask, const uint16_t* addresses,
                                    const uint16_t* values, uint16_t* retValues);
uint16_t EBDRPCSetPrechargeValue(uint32_t handle, uint16_t value);
// gainCodes: room for maxCount words; count receives how many were delivered.
uint16_t EBDRPCGetGainCodeTable(uint32_t handle, uint8_t band, uint8_t gainIndex, uint16_t* gainCodes,
                                uint16_t maxCount, uint16_t* count);

// Foreign confirms EBDRPCCalDevGsmRssi passes over before it gives up.
inline constexpr int kMaxForeignRssiConfirms = 16;

// ---- Identity and security ----------------------------------------------------
// The calls returning 700 + s report a non-zero signed status byte s of the
// firmware. Preset outputs (0xFF bytes, 0xFFFF) are filled as soon as the
// request has been sent, so that the caller sees them on every later failure.

// serialNumber: 4 bytes.
uint16_t EBDRPCFlashSerialNumberRead(uint32_t handle, uint8_t* serialNumber);
// ie: the IE code on entry, the IE value on return; preset to 0xFFFF.
uint16_t EBDRPCGetSingleIE(uint32_t handle, uint16_t* ie);
// mode: the requested mode on entry, the confirm's mode on return, written
// before the status is checked; preset to 0xFF.
uint16_t EBDRPCResetIMEIMode(uint32_t handle, uint8_t* mode);
inline uint16_t EBDRPCSetCustomerIMEIMode(uint32_t handle, uint8_t* mode) {
    return EBDRPCResetIMEIMode(handle, mode);
}
// serialNumber: 8 bytes, preset to 0xFF.
uint16_t EBDRPCReadSerialNumber(uint32_t handle, uint8_t* serialNumber);
// imei: 8 bytes, preset to 0xFF.
uint16_t EBDRPCReadIMEI(uint32_t handle, uint8_t* imei);
uint16_t EBDRPCInitIMEI(uint32_t handle);
// imei: 8 bytes.
uint16_t EBDRPCFreezeIMEI(uint32_t handle, const uint8_t* imei);
// mode: the requested mode on entry, the confirm's mode on return, written
// before the status is checked.
uint16_t EBDRPCSetSecurityMode(uint32_t handle, uint16_t* mode, uint32_t securityParameter);
// challenge: 8 bytes, preset to 0xFF.
uint16_t EBDRPCRequestChallenge(uint32_t handle, uint8_t* challenge);
// responseBlock: 64 bytes.
uint16_t EBDRPCSendResponse(uint32_t handle, const uint8_t* responseBlock);
// info: 17 bytes, preset to 0xFF.
uint16_t EBDRPCGetMobileInfo(uint32_t handle, uint8_t* info);

// Sizes of the identity areas.
inline constexpr size_t kFlashSerialNumberSize = 4;
inline constexpr size_t kSerialNumberSize = 8;
inline constexpr size_t kImeiSize = 8;
inline constexpr size_t kChallengeSize = 8;
inline constexpr size_t kResponseBlockSize = 64;
inline constexpr size_t kMobileInfoSize = 17;

}  // namespace ebd
