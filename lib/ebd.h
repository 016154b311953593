/* The module-control library: public interface.
 *
 * Plain C functions with fixed-width types, usable from C, C++ and ctypes.
 * Every operation takes the session handle that WComOpen returned and checks its
 * pattern first; results are 1 for success and 0 for failure unless noted.
 * A failure stores a 16-bit code as the port's last error (WGetLastError).
 *
 * Threads: different sessions may be used from different threads at the same
 * time, but one session must not be used by two threads at once. WInitLibrary,
 * WEnableTraceFile, WDisableTraceFile and WSetTraceCallback are for when no
 * operation runs. The library starts no threads of its own. */
#ifndef EBD_H
#define EBD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Session handle: port number in bits 19..12, pattern 0xEBD00EBD elsewhere. */
typedef uint32_t EBDHandle;

/* Trace callback: receives the session's trace handle and one whole trace line
 * (at most 255 characters, no line end). Its result is not used. It is called
 * on the thread of the operation that traces, so sessions on several threads
 * may call it at the same time. */
typedef int32_t (*EBDTraceCallback)(uint32_t traceHandle, const char* line);

/* ---- Sessions, last error, trace ------------------------------------------ */
/* Resets the port table and the time base. A port still open from an earlier
 * session is closed first, without a byte to its module, so that it can be
 * opened again. */
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
/* Items in the module's NVRAM: user items by user id and key, calibration items
 * by calibration id. Data areas are byte areas of dataSize bytes; a required
 * pointer that is NULL gives 0 at once, without a trace line. The read
 * operations return in *pBytesRead the item's length as the module reports it,
 * which may exceed dataSize; at most dataSize bytes are copied. */
int32_t WReadNVRAMUserItem(EBDHandle handle, uint32_t userId, uint16_t key, uint8_t* pData, uint16_t dataSize,
                           uint16_t* pBytesRead);
int32_t WWriteNVRAMUserItem(EBDHandle handle, uint32_t userId, uint16_t key, const uint8_t* pData,
                            uint16_t dataSize);
int32_t WDeleteNVRAMUserItem(EBDHandle handle, uint32_t userId, uint16_t key);
int32_t WEraseAllNVRAMUserItems(EBDHandle handle);
int32_t WReadNVRAMCalibrationItem(EBDHandle handle, uint8_t calibrationId, uint8_t* pData, uint16_t dataSize,
                                  uint16_t* pBytesRead);
/* *pNVRAMBlockExists: 1 when the item exists, else 0. */
int32_t WCheckNVRAMCalibrationItem(EBDHandle handle, uint8_t calibrationId, uint8_t* pNVRAMBlockExists);
/* An invalid handle also stores 10 as the last error of the port its port
 * field names (1 to 32). */
int32_t WWriteNVRAMCalibrationItem(EBDHandle handle, uint8_t calibrationId, const uint8_t* pData,
                                   uint16_t dataSize);
int32_t WEraseAllNVRAMCalibrationItems(EBDHandle handle);
int32_t WSaveAllOtherNVRAMCalibrationItems(EBDHandle handle, uint16_t lastCalItem);
int32_t WRestoreAllOtherNVRAMCalibrationItems(EBDHandle handle, uint16_t lastCalItem);
/* 16-bit calibration ids: ids below 256 go to the operations above. */
int32_t WCheckNVRAMYKCalibrationItem(EBDHandle handle, uint16_t calibrationId, uint8_t* pNVRAMBlockExists);
int32_t WReadNVRAMYKCalibrationItem(EBDHandle handle, uint16_t calibrationId, uint8_t* pData, uint16_t dataSize,
                                    uint16_t* pBytesRead);
int32_t WWriteNVRAMYKCalibrationItem(EBDHandle handle, uint16_t calibrationId, const uint8_t* pData,
                                     uint16_t dataSize);

/* Calibration store: each operation files a measured value into the port's
 * calibration record and marks the item; nothing is sent to the module until
 * WWriteAllStoredValuesToModuleNVRAM. Bands 0 to 3 (else error 12),
 * modulation 0 GMSK or 1 8PSK (else error 14). */
int32_t WOrreryStoreCalibrationDataAFC(EBDHandle handle, uint32_t slope, uint16_t nominalValue);
int32_t WOrreryStoreCalibrationDataTxIQOffsets(EBDHandle handle, uint8_t band, uint8_t modulation,
                                               uint8_t txIOffset, uint8_t txQOffset);
/* scalingFactorArray: 32 words. */
int32_t WOrreryStoreCalibrationDataScalingFactors(EBDHandle handle, uint8_t band, uint8_t modulation,
                                                  const uint16_t* scalingFactorArray);
int32_t WOrreryStoreCalibrationDataAMLoopOffsets(EBDHandle handle, uint8_t band, uint8_t aMLoopOffsetValue);
/* agcControlCodeArray, agcAccurateValueArray: 26 words. */
int32_t WOrreryStoreCalibrationDataAGCGainWords(EBDHandle handle, uint8_t band, const uint16_t* agcControlCodeArray);
int32_t WOrreryStoreCalibrationDataAGCAccurateValues(EBDHandle handle, uint8_t band,
                                                     const uint16_t* agcAccurateValueArray);
int32_t WOrreryStoreCalibrationDataTxDacOffsets(EBDHandle handle, uint8_t band, uint8_t modulation,
                                                uint16_t txDacOffsetValue);
int32_t WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(EBDHandle handle, int16_t iOffset, int16_t qOffset);
/* Writes every marked item to the module's NVRAM, keeping the items already
 * there that no stored value replaces; resetFlag erases all calibration items
 * first instead. */
int32_t WWriteAllStoredValuesToModuleNVRAM(EBDHandle handle, int32_t resetFlag);
/* Sets the module's band mode and waits until the module reports it; a module
 * that does not report it within 20 reads gives error 5. */
int32_t WSetVaneBandMode(EBDHandle handle, uint8_t bandMode);

/* ---- Burst, slot and frame configuration ---------------------------------- */
/* Modulation 1 is 8PSK, any other value GMSK. A required pointer that is NULL
 * gives 0 at once, without a trace line. */
/* burstData: 30 words whatever the modulation (all 30 are sent); the port keeps
 * the first 10 (GMSK) or all 30 (8PSK) for WConfigureGPRSLogicalTxSlot. */
int32_t WSetBurstData(EBDHandle handle, const uint16_t* burstData, uint8_t modulation);
/* Generates a normal burst: dataMode 1 all ones, 2 alternating bits, 3 ones
 * around training sequence tsc, 4 alternating bits around it; any other
 * dataMode sends a burst of zeros. tsc above 7 is taken modulo 8. */
int32_t WSetEbdBurstDataMode(EBDHandle handle, uint8_t dataMode, uint8_t tsc, uint8_t modulation);
/* powerRamp: 32 words. */
int32_t WSetPowerRamp(EBDHandle handle, const uint16_t* powerRamp);
int32_t WSetRampScaleFactor(EBDHandle handle, uint16_t scaleFactor);
/* burstOn: 4 bytes; channel, gain: 4 words each. A scaleFactor other than 0 is
 * set first and marks the power level with bit 7. */
int32_t WSetCircuitSwitchedTDMAFrame(EBDHandle handle, uint8_t burstType, const uint8_t* burstOn,
                                     const uint16_t* channel, const uint16_t* gain, uint8_t burst2Type,
                                     uint8_t timingAdvance, uint8_t rachData, uint8_t powerLevel,
                                     uint16_t scaleFactor);
int32_t WConfigureGPRSLogicalRxSlot(EBDHandle handle, uint8_t slotNumber, uint16_t gain, uint8_t modulation);
int32_t WConfigureGPRSLogicalTxSlot(EBDHandle handle, uint8_t slotNumber, uint8_t powerLevel, uint8_t modulation,
                                    uint8_t txVariant);
int32_t WConfigureGPRSLogicalMonSlot(EBDHandle handle, uint8_t slotNumber, uint16_t gain);
int32_t WConfigureGPRSLogicalUnusedSlot(EBDHandle handle, uint8_t slotNumber);
/* slotMapping: 8 bytes. */
int32_t WConfigureGPRSMultiFrame(EBDHandle handle, uint8_t frameNumber, const uint8_t* slotMapping,
                                 uint16_t rxChannel, uint16_t txChannel, uint16_t monChannel, int16_t frameAdvance,
                                 int16_t rxAdvance, int16_t txAdvance, int16_t monAdvance);
int32_t WChangeGPRSTiming(EBDHandle handle, uint8_t frameNumber, int16_t frameAdvance, int16_t rxAdvance,
                          int16_t txAdvance, int16_t monAdvance);
int32_t WSetGPRSUsage(EBDHandle handle, uint8_t mode);

/* ---- Settings ------------------------------------------------------------- */
/* The port and baud rate kept in the machine-wide settings store, key
 * QMB_Library, values "ComPort" (binary, 1 byte) and "Baudrate" (dword): on
 * Windows the registry key HKEY_CURRENT_CONFIG\QMB_Library, on Linux the
 * settings file /etc/ebd/settings.conf (or the file the environment variable
 * EBD_SETTINGS_FILE names). Save creates the key when needed and writes both;
 * it returns 0 when the key cannot be created or a value cannot be written.
 * Load sets port 1 and baud rate 115200 and reads the port only: it returns 1
 * when "ComPort" is there as a binary value of one byte, else 0; the baud rate
 * always comes back as 115200, whatever was saved. */
int32_t SaveLibrarySettings(uint8_t port, uint32_t baudRate);
int32_t LoadLibrarySettings(uint8_t* port, uint32_t* baudRate);

/* ---- Release version ------------------------------------------------------ */
/**
 * @brief The release version of the library as text, for example "1.1.0".
 *
 * It is the version of the release the library comes from (the same as
 * `--version` of the tools, the packages and ebd.pc); needs no module and no
 * open session, and may be called at any time from any thread.
 *
 * @return A static, NUL-terminated text that is never NULL and never changes;
 *         the caller must not free it.
 */
const char* WGetLibraryVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* EBD_H */
