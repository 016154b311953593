// Library sessions: WInitLibrary, WComOpen and WGetLastError, and the switches
// of the trace log.
#include <array>
#include <cstdio>
#include <type_traits>

#include "core/ebd_version.h"
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "lib/port_state.h"
#include "link/gwcoml1.h"

namespace ebd {

namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void TraceOpenLine(uint32_t tHandle, const char* format, ...) __attribute__((format(printf, 2, 3)));
void TraceOpenLine(uint32_t tHandle, const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    TraceToRoute(tHandle, line);
}

void TraceHeader(uint32_t tHandle) {
    std::tm now{};
    platform::current().localTime(&now);
    const int wday = now.tm_wday >= 0 && now.tm_wday < 7 ? now.tm_wday : 0;
    const int mon = now.tm_mon >= 0 && now.tm_mon < 12 ? now.tm_mon : 0;
    TraceOpenLine(tHandle, "(EBDV) Trace started at %s %s %02d %02d:%02d:%02d %04d", kWeekdays[wday],
                  kMonths[mon], now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec, now.tm_year + 1900);
    TraceOpenLine(tHandle, "(EBDV) EBD file information (Version %04d.%04d) ->", kLibraryVersionMajor,
                  kLibraryVersionMinor);
    VersionText text;
    for (const char* revision : kRevisionTexts) TraceToRoute(tHandle, HostVersionText(revision, text));
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" void WInitLibrary(void) {
    ResetAllPorts();
    StartTimeBase();
}

extern "C" EBDHandle WComOpen(int32_t portNum, int32_t baudRate, uint32_t tHandle) {
    if (portNum == 0) portNum = 1;
    if (baudRate == 0) baudRate = 115200;
    TraceHeader(tHandle);
    TraceOpenLine(tHandle, "(EBD ) WComOpen(portNum=%d, baudRate=%ld, tHandle=0x%08lx)", portNum,
                  static_cast<long>(baudRate), static_cast<unsigned long>(tHandle));
    if (portNum >= 1 && portNum <= kMaxPort && !ClaimPort(portNum)) {
        Port(portNum).lastError = EBD_ERR_PORT_IN_USE;
        TraceOpenLine(tHandle, "(EBD ) WComOpen: port %d already used, error %d", portNum,
                      EBD_ERR_PORT_IN_USE);
        return 0;
    }
    // Numbers below 1 have no entry either: they are refused like those above 32.
    if (portNum < 1 || portNum > kMaxPort) {
        TraceOpenLine(tHandle, "(EBD ) WComOpen: bad port %d, error %d", portNum, EBD_ERR_PORT_IN_USE);
        return 0;
    }
    char portName[16];
    std::snprintf(portName, sizeof portName, "COM%d", portNum);
    TraceOpenLine(tHandle, "(EBD ) WComOpen: call NomiL1CommsOpen...");
    PortEntry& entry = Port(portNum);
    platform::PortHandle opened = platform::kNoPort;
    const uint8_t status = NomiL1CommsOpen(portName, baudRate, baudRate, &opened, portNum);
    if (status != kLinkDone) {
        SettleClaim(portNum, platform::kNoPort, 0);
        entry.lastError = status;
        TraceOpenLine(tHandle, "(EBD ) WComOpen: NomiL1CommsOpen fails with error %d", status);
        return 0;
    }
    SettleClaim(portNum, opened, tHandle);
    const uint32_t handle = MakeHandle(portNum);

    SetReadTimeoutClass(handle, 1);
    SkipPendingInput(handle);
    StartSessionState(handle);
    TraceLine(handle, "(EBD ) WComOpen: O.K.");
    return handle;
}

extern "C" uint16_t WGetLastError(EBDHandle handle) {
    if (!HandleValid(handle)) return EBD_ERR_INVALID_HANDLE;
    const uint16_t code = PortOf(handle).lastError;
    Trace(handle, "(EBD ) WGetLastError: error %d", code);
    return code;
}

// The host's callback type and the core's are one type.
static_assert(std::is_same_v<EBDTraceCallback, TraceCallback>);

extern "C" void WEnableTraceFile(void) {
    SetTraceFile(true);
}
extern "C" void WDisableTraceFile(void) {
    SetTraceFile(false);
}
extern "C" void WSetTraceCallback(EBDTraceCallback callback) {
    SetTraceCallback(callback);
}
