// The library's per-port table, and what library initialisation and a new
// session reset in it and in the session core's port table.
#include "lib/port_state.h"

#include <mutex>

#include "lib/ebd_intern.h"

namespace ebd {

namespace {

// Index 0 is unused; entries 1 to 32 are the ports.
std::array<LibraryPort, kMaxPort + 1> g_libraryPorts;

}  // namespace

LibraryPort& LibraryPortOf(int port) {
    return g_libraryPorts[port >= 1 && port <= kMaxPort ? static_cast<size_t>(port) : 0];
}

LibraryPort& LibPort(uint32_t handle) {
    return LibraryPortOf(PortOfHandle(handle));
}

void ResetAllPorts() {
    // Ports, trace handles and last errors.
    ResetPortTable();
    for (LibraryPort& port : g_libraryPorts) {
        port.dualBandMode = 0;
        port.storedCalibrationItems = 0;
        port.gainCodeTableSize = 0;
    }
}

void StartSessionState(uint32_t handle) {
    PortEntry& entry = PortOf(handle);
    LibraryPort& port = LibPort(handle);
    TraceLine(handle, "(EBD ) WComOpen: clear local storedCalibrationItems, gotTargetVersion");
    port.storedCalibrationItems = 0;
    entry.gotTargetVersion = 0;
    // The bootloader text is the session's: a module that reports none must
    // not show the one an earlier session read from another module.
    entry.bootloaderText.fill(0);
    TraceLine(handle, "(EBD ) WComOpen: invalidate local stored GMSK IQ-Offsets");
    for (IqPair& pair : port.gmskTxIq) pair.i = calstore::kNotStored;
    TraceLine(handle, "(EBD ) WComOpen: invalidate local stored autocalibration IQ-Offsets");
    port.autoCalIq = {calstore::kNotStored, calstore::kNotStored};
    TraceLine(handle, "(EBD ) WComOpen: invalidate local stored mobile SW version number");
    entry.mobileSwVersion = 0;
    TraceLine(handle, "(EBD) WComopen: reset exit data");
    // Every port's records, not only this one's: another session's link layer
    // may be adding to its own at the same time.
    const std::lock_guard lock(ExitRecordsLock());
    for (int number = 0; number <= kMaxPort; ++number) Port(number).exit = ExitRecords{};
}

}  // namespace ebd
