// The session core: the port table with the time base, and the trace log. Every
// layer of the library stands on it; it stands on the platform alone.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "core/ebd_bastyp.h"
#include "core/ebd_types.h"

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
// Sets the start count and the tick counts from the platform's counter.
void StartTimeBase();
// The open port of a session; kNoPort when the handle is invalid or no port is open.
platform::PortHandle GetPortHandle(uint32_t handle);
// Stores a non-zero code as the last error of the handle's port.
void SetLastError(uint32_t handle, uint16_t code);

// ---- Trace log -----------------------------------------------------------
// The host's trace callback; lib/ebd.h names the same type EBDTraceCallback.
using TraceCallback = int32_t (*)(uint32_t traceHandle, const char* line);
void SetTraceFile(bool on);
void SetTraceCallback(TraceCallback callback);

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

}  // namespace ebd
