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
/* (service-call wrappers: declarations go here) */

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
