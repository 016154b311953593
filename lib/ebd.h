/* The module-control library: public interface.
 *
 * Plain C functions with fixed-width types, usable from C, C++ and ctypes.
 * Every operation takes the session handle that WComOpen returned and checks its
 * pattern first; results are 1 for success and 0 for failure unless noted.
 * A failure stores a 16-bit code as the port's last error (WGetLastError).
 *
 * The library starts no threads and takes no locks: calls on different
 * sessions must not overlap. */
#ifndef EBD_H
#define EBD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Session handle: port number in bits 19..12, pattern 0xEBD00EBD elsewhere. */
typedef uint32_t EBDHandle;

/* Trace callback: receives the session's trace handle and one trace line
 * (at most 255 characters, no line end). Its result is not used. */
typedef int32_t (*EBDTraceCallback)(uint32_t traceHandle, const char* line);

/* ---- Sessions, last error, trace ------------------------------------------ */
void WInitLibrary(void);
EBDHandle WComOpen(int32_t portNum, int32_t baudRate, uint32_t tHandle);
int32_t WComClose(EBDHandle handle);
uint16_t WGetLastError(EBDHandle handle);
void WEnableTraceFile(void);
void WDisableTraceFile(void);
/* Registers the trace callback for sessions opened with a non-zero trace
 * handle; NULL unregisters it. */
void WSetTraceCallback(EBDTraceCallback callback);

/* ---- Operation modes ------------------------------------------------------ */
int32_t WInitServiceMode(EBDHandle handle);
int32_t WInitNormalMode(EBDHandle handle);
int32_t WInitTestMode(EBDHandle handle);
int32_t WInitAirplaneMode(EBDHandle handle);
int32_t WExitServiceMode(EBDHandle handle);

/* ---- Version information -------------------------------------------------- */
/* text: 25 bytes. */
int32_t WGetBootloaderInfo(EBDHandle handle, char* text);

/* ---- Java autostart, switch-off, AT commands ------------------------------ */
int32_t WSwitchJavaAutoStart(EBDHandle handle, int32_t onOff);
int32_t WSwitchOff(EBDHandle handle);
/* response: NULL, or an area of 513 characters. */
int32_t WSendAtCommand(EBDHandle handle, const char* command, char* response);
int32_t WReceiveAtCommand(EBDHandle handle, char* response);
int32_t WSendAtCommandAndWait(EBDHandle handle, const char* command, const char* expected,
                              uint8_t waitSeconds);
int32_t WStartCircuitSwitchedCall(EBDHandle handle, const char* number);
int32_t WStartGPRSAttach(EBDHandle handle);
int32_t WprepareNetworkRegistration(EBDHandle handle, uint16_t timeout1, uint16_t timeout2);

/* ---- Radio test, measurement, identity and security ---------------------- */
/* Bands are numbered 0 to 3; the port's dual-band mode (WSetCurrentDualBandMode)
 * permits one band of {0, 3} and one of {1, 2}. Truth values are int32_t. */
int32_t WSetAFC(EBDHandle handle, uint16_t value);
/* Fails with last error 16 when the module reports a frequency-burst status
 * other than 1 or 2; *pFrequencyOffset is written all the same. */
int32_t WSetAFCAndMeasure(EBDHandle handle, uint16_t arfcn, uint16_t value, int16_t* pFrequencyOffset);
int32_t WSetGainProgramWord(EBDHandle handle, uint16_t gainProgramWord, uint8_t band, uint8_t gainIndex);
int32_t WGetGainProgramWord(EBDHandle handle, uint8_t gainIndex, uint8_t band, uint16_t* pGainProgramWord);
int32_t WSetAccurateValue(EBDHandle handle, uint16_t accurateValue, uint8_t band, uint8_t gainIndex);
int32_t WGetPowerValue(EBDHandle handle, uint16_t channel, uint16_t gain, int32_t applyAGCTabValue,
                       int16_t* pRssiIn16thdB);
/* pIQOffsets: 4 words, rxIOffset, rxQOffset, txIOffset, txQOffset. */
int32_t WGetUsedIQOffsetValues(EBDHandle handle, int32_t measure, uint16_t* pIQOffsets);
int32_t WSetTxOffset(EBDHandle handle, uint8_t iTxOffset, uint8_t qTxOffset);
int32_t WSetCurrentDualBandMode(EBDHandle handle, uint8_t bandMode);
int32_t WRadioPowerOn(EBDHandle handle);
int32_t WRadioPowerDown(EBDHandle handle);
int32_t WRadioReceiverOn(EBDHandle handle, uint32_t parameter);
int32_t WRadioReceiverOff(EBDHandle handle, uint32_t parameter);
int32_t WRadioSendTelegram(EBDHandle handle, uint32_t telegram);
int32_t WRadioSetInitTelegram(EBDHandle handle, uint32_t telegram, uint8_t index);
int32_t WStartLoopback(EBDHandle handle, uint16_t bch, uint16_t tch, uint8_t timeSlot, uint8_t tsc,
                       uint8_t powerLevel);
int32_t WChangeLoopback(EBDHandle handle, uint16_t tch, uint8_t timeSlot, uint8_t tsc, uint8_t powerLevel);
int32_t WStopLoopback(EBDHandle handle);
int32_t WGetLoopbackData(EBDHandle handle, int16_t* pTimingOffsetQbits, int16_t* pFreqOffsetHz, uint16_t* pBitErrors,
                         uint16_t* pSoftDecisionTotal, int16_t* pRssi);
/* aMLoopOffset below 64, rampDacValue below 1024 (last errors 13 and 15). */
int32_t WSetAMLoopOffset(EBDHandle handle, uint8_t mode, uint16_t channel, uint8_t aMLoopOffset,
                         uint16_t constTxValue, uint16_t rampDacValue);
/* Up to eight accesses to the baseband chip's registers; readWriteMask holds two
 * bits per entry k (bits 2k, 2k+1): 0 none, 1 write value[k] to address[k],
 * 2 read address[k] into retValues[k]. All arrays have 8 words. */
int32_t WBBCRegister(EBDHandle handle, uint16_t readWriteMask, const uint16_t* address, const uint16_t* value,
                     uint16_t* retValues);
/* pBytes: 4 bytes; *pSerialNumber is the same bytes as a little-endian number. */
int32_t WGetFlashSerialNumber(EBDHandle handle, uint32_t* pSerialNumber, uint8_t* pBytes);
/* *pIe: the IE code on entry, the IE value on return. */
int32_t WGetSingleIE(EBDHandle handle, uint16_t* pIe);
int32_t WResetIMEIMode(EBDHandle handle, uint8_t* pResult);
int32_t WSetCustomerIMEIMode(EBDHandle handle, uint8_t* pResult);
/* serialNumber, imei: 8 bytes. */
int32_t WReadSerialNumber(EBDHandle handle, uint8_t* serialNumber);
int32_t WReadIMEI(EBDHandle handle, uint8_t* imei);
int32_t WInitIMEI(EBDHandle handle);
int32_t WFreezeIMEI(EBDHandle handle, const uint8_t* imei);
/* *pMode: the mode on entry, the mode the module reports on return. */
int32_t WSetSecurityMode(EBDHandle handle, uint16_t* pMode, uint32_t securityParameter);
/* challenge: 8 bytes; responseBlock: 64 bytes; info: 17 bytes. */
int32_t WRequestChallenge(EBDHandle handle, uint8_t* challenge);
int32_t WSendResponse(EBDHandle handle, const uint8_t* responseBlock);
int32_t WGetMobileInformation(EBDHandle handle, uint8_t* info);
/* Gain codes of a band and gain index, kept per port and handed out one per
 * WGetNextGainCode call. */
int32_t WInitGainCodeTemplates(EBDHandle handle, uint8_t band, uint8_t gainIndex);
int32_t WGetNextGainCode(EBDHandle handle, uint16_t* pGainCode);
int32_t WSetPrechargeValue(EBDHandle handle, uint16_t value);
/* Receiver gain table from two measuring points; nothing is sent to the module.
 * indexArray: 3 words; gainWord, rssi: 2 words; the results: 26 words. */
int32_t WGetGwIndexArray(EBDHandle handle, uint32_t ignored, uint16_t* indexArray);
int32_t WSendGwRssiMPoints(EBDHandle handle, const uint16_t* gainWord, const int16_t* rssi, uint16_t* gainWordResult,
                           int16_t* rssiResult);
/* Exit records from the module's EXIT reports: *pCount receives the number of
 * records kept (at most 3), pData the first min(maxBytes, 16 * count) bytes of
 * them, each record four 32-bit little-endian words. */
int32_t WGetExitData(EBDHandle handle, uint8_t maxBytes, uint8_t* pCount, uint8_t* pData);

/* ---- NVRAM items, calibration store, band mode ----------------------------- */
/* (NVRAM and calibration store: declarations go here) */

/* ---- Burst, slot and frame configuration ---------------------------------- */
/* (burst, slot and frame: declarations go here) */

/* ---- Settings ------------------------------------------------------------- */
/* (settings store: declarations go here) */

#ifdef __cplusplus
}
#endif

#endif /* EBD_H */
