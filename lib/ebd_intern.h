// Internal interface of the library core: the port table, the time base, the
// trace log, detection, boot and the version gate.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "lib/ebd_bastyp.h"
#include "lib/ebd_types.h"

namespace ebd {

// ---- Port table and time base -------------------------------------------
struct TimeBase {
    uint64_t startCount = 0;
    uint32_t ticksPer10ms = 10'000'000;
    uint32_t ticksPerMs = 1'000'000;
};

// Index 0 is unused; entries 1 to 32 are the ports.
PortEntry& Port(int portNumber);
// The entry a valid handle names; the caller has checked the handle.
PortEntry& PortOf(uint32_t handle);
const TimeBase& Time();
// The open port of a session; kNoPort when the handle is invalid or no port is open.
platform::PortHandle GetPortHandle(uint32_t handle);
// Stores a non-zero code as the last error of the handle's port.
void SetLastError(uint32_t handle, uint16_t code);

// ---- Trace log -----------------------------------------------------------
void TraceLine(uint32_t handle, const char* line);
// printf-style: formats into a 256-byte line and traces it.
void Trace(uint32_t handle, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Whether a line for this session would reach anybody (callback or file).
bool TraceWanted(uint32_t handle);
void WriteTraceFile(const char* line);
// Sends a line straight to the sink a trace handle selects, before a session exists.
void TraceToRoute(uint32_t traceHandle, const char* line);
void TraceHexBytes(uint32_t handle, const char* title, const void* data, int32_t count);
void TraceHexWords(uint32_t handle, const char* title, const void* data, int32_t count);
void TraceHexDwords(uint32_t handle, const char* title, const void* data, int32_t count);
const char* CondenseRevisionText(const char* revisionText);
const char* EscapeVersionText(const char* text, const char* prefix);
const char* HostVersionText(const char* revisionText);
const char* TargetVersionText(const char* item);

// ---- The ending of a public operation around one remote call ------------------
// A failure's code becomes the port's last error and is traced as
// "(EBD ) <operation>: <callName> fails with error <code>"; success is traced as
// "(EBD ) <operation>: O.K.". Results are the operation's: 0 and 1.
int32_t CallFailed(uint32_t handle, const char* operation, const char* callName, uint16_t error);
int32_t CallDone(uint32_t handle, const char* operation);
int32_t FinishCall(uint32_t handle, const char* operation, const char* callName, uint16_t error);

// ---- Serial-mode detection -----------------------------------------------
bool GetResponse(uint32_t handle, uint8_t* buffer, uint8_t length);
void SkipResponse(uint32_t handle, const uint8_t* buffer, uint8_t length);
bool CheckResponse(uint32_t handle, uint8_t* buffer, const uint8_t* expected, uint8_t length);
uint8_t GetTargetSerialMode(uint32_t handle);
bool WaitForTargetSerialMode(uint32_t handle, uint8_t mask);
bool WaitForTargetSerialModeOtherThan(uint32_t handle, uint8_t mask);

// ---- Module boot and switch to NOMI ------------------------------------------
bool ModuleBootServiceMode(uint32_t handle);
bool ModuleBootNormalMode(uint32_t handle);
bool SwitchSerialToNOMIMode(uint32_t handle, uint8_t serviceMode);

// ---- Operation modes -----------------------------------------------------
int SwitchTargetToOperationMode(uint32_t handle, uint8_t operationMode);

// ---- Target version gate -------------------------------------------------
void GetTargetVersion(uint32_t handle);

}  // namespace ebd
