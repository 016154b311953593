// The port table and the time base: one entry per port number, and the counter
// values that trace times and the block gap are measured with.
#include <array>

#include "core/ebd_core.h"

namespace ebd {

namespace {

std::array<PortEntry, kMaxPort + 1> g_ports;
TimeBase g_time;

}  // namespace

PortEntry& Port(int portNumber) {
    // Entry 0 is never a session's; it absorbs a number out of range.
    if (portNumber < 1 || portNumber > kMaxPort) return g_ports[0];
    return g_ports[static_cast<size_t>(portNumber)];
}

PortEntry& PortOf(uint32_t handle) { return Port(PortOfHandle(handle)); }

const TimeBase& Time() { return g_time; }

void StartTimeBase() {
    platform::Platform& os = platform::current();
    g_time.startCount = os.counter();
    const auto frequency = static_cast<uint32_t>(os.frequency() & 0xFFFFFFFFu);
    g_time.ticksPer10ms = frequency / 100;
    g_time.ticksPerMs = g_time.ticksPer10ms / 10;
}

platform::PortHandle GetPortHandle(uint32_t handle) {
    if (!HandleValid(handle)) return platform::kNoPort;
    return PortOf(handle).port;
}

void SetLastError(uint32_t handle, uint16_t code) {
    if (HandleValid(handle)) PortOf(handle).lastError = code;
}

}  // namespace ebd
