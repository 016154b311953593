// The session core: the port table with the time base, and the trace log. Every
// layer of the library stands on it; it stands on the platform alone.
#pragma once

#include <array>
#include <cstdarg>
#include <cstdint>
#include <mutex>

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
// Which entries have a session. The owner's thread alone uses an entry's other
// fields; these steps are the ones other threads may race with.
// Claims a port's entry for a session being opened: false when a session is
// open on it or another thread is opening one.
bool ClaimPort(int port);
// Ends a claim: the entry gets `opened` and `traceHandle` (the session is
// open), or stays free when `opened` is kNoPort.
void SettleClaim(int port, platform::PortHandle opened, uint32_t traceHandle);
// Frees the entry of a port whose device the session has closed.
void ReleasePort(int port);
// Closes every port still open (without a word to its module) and resets
// what the table keeps per session; for when no operation runs.
void ResetPortTable();
// Exit records are cleared for every port by any session's open: every access
// takes this lock.
std::mutex& ExitRecordsLock();
// The open port of a session; kNoPort when the handle is invalid or no port is open.
platform::PortHandle GetPortHandle(uint32_t handle);
// Stores a non-zero code as the last error of the handle's port.
void SetLastError(uint32_t handle, uint16_t code);
// How every failure that stores a code ends: stores `code` as the last error
// of the handle's port, traces the printf-style line (which names the code
// itself where it shows it), and gives the failure result 0.
int32_t Fail(uint32_t handle, uint16_t code, const char* format, ...) __attribute__((format(printf, 3, 4)));

// ---- Trace log -----------------------------------------------------------
// The host's trace callback; lib/ebd.h names the same type EBDTraceCallback.
using TraceCallback = int32_t (*)(uint32_t traceHandle, const char* line);
void SetTraceFile(bool on);
void SetTraceCallback(TraceCallback callback);

void TraceLine(uint32_t handle, const char* line);
// printf-style: formats into a 256-byte line and traces it.
void Trace(uint32_t handle, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The same with the arguments already taken (for other printf-style helpers).
void TraceFormatted(uint32_t handle, const char* format, va_list args) __attribute__((format(printf, 2, 0)));
// Whether a line for this session would reach anybody (callback or file).
bool TraceWanted(uint32_t handle);
void WriteTraceFile(const char* line);
// Sends a line straight to the sink a trace handle selects, before a session exists.
void TraceToRoute(uint32_t traceHandle, const char* line);
void TraceHexBytes(uint32_t handle, const char* title, const void* data, int32_t count);
void TraceHexWords(uint32_t handle, const char* title, const void* data, int32_t count);
void TraceHexDwords(uint32_t handle, const char* title, const void* data, int32_t count);
// Version texts are rendered into the caller's area (at most 255 characters
// and the NUL) and returned as its text.
using VersionText = std::array<char, 256>;
const char* CondenseRevisionText(const char* revisionText, VersionText& area);
const char* EscapeVersionText(const char* text, const char* prefix, VersionText& area);
const char* HostVersionText(const char* revisionText, VersionText& area);
const char* TargetVersionText(const char* item, VersionText& area);

}  // namespace ebd
