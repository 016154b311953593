// The port table and the time base: one entry per port number, and the counter
// values that trace times and the block gap are measured with.
#include <array>
#include <cstdarg>
#include <mutex>

#include "core/ebd_core.h"

namespace ebd {

namespace {

std::array<PortEntry, kMaxPort + 1> g_ports;
TimeBase g_time;
// Guards which entries have a port (the port handle and the opening flag), so
// that two threads opening the same port cannot both win.
std::mutex g_claims;
std::mutex g_exitRecords;

}  // namespace

PortEntry& Port(int portNumber) {
    // Entry 0 is never a session's; it absorbs a number out of range.
    if (portNumber < 1 || portNumber > kMaxPort) return g_ports[0];
    return g_ports[static_cast<size_t>(portNumber)];
}

PortEntry& PortOf(uint32_t handle) {
    return Port(PortOfHandle(handle));
}

const TimeBase& Time() {
    return g_time;
}

void StartTimeBase() {
    platform::Platform& os = platform::current();
    g_time.startCount = os.counter();
    const auto frequency = static_cast<uint32_t>(os.frequency() & 0xFFFFFFFFu);
    g_time.ticksPer10ms = frequency / 100;
    g_time.ticksPerMs = g_time.ticksPer10ms / 10;
}

bool ClaimPort(int port) {
    if (port < 1 || port > kMaxPort) return false;
    PortEntry& entry = Port(port);
    const std::lock_guard lock(g_claims);
    if (entry.port != platform::kNoPort || entry.opening) return false;
    entry.opening = true;
    return true;
}

void SettleClaim(int port, platform::PortHandle opened, uint32_t traceHandle) {
    PortEntry& entry = Port(port);
    const std::lock_guard lock(g_claims);
    entry.opening = false;
    if (opened == platform::kNoPort) return;
    entry.port = opened;
    entry.traceHandle = traceHandle;
}

void ReleasePort(int port) {
    PortEntry& entry = Port(port);
    const std::lock_guard lock(g_claims);
    entry.port = platform::kNoPort;
}

void ResetPortTable() {
    const std::lock_guard lock(g_claims);
    for (PortEntry& entry : g_ports) {
        // A port still open is closed without a word to its module, so that it
        // can be opened again; only then is it forgotten.
        if (entry.port != platform::kNoPort) platform::current().closePort(entry.port);
        entry.port = platform::kNoPort;
        entry.opening = false;
        entry.traceHandle = 0;
        entry.lastError = 0;
    }
}

std::mutex& ExitRecordsLock() {
    return g_exitRecords;
}

platform::PortHandle GetPortHandle(uint32_t handle) {
    if (!HandleValid(handle)) return platform::kNoPort;
    return PortOf(handle).port;
}

void SetLastError(uint32_t handle, uint16_t code) {
    if (HandleValid(handle)) PortOf(handle).lastError = code;
}

int32_t Fail(uint32_t handle, uint16_t code, const char* format, ...) {
    SetLastError(handle, code);
    va_list args;
    va_start(args, format);
    TraceFormatted(handle, format, args);
    va_end(args);
    return 0;
}

}  // namespace ebd
