// Closing a session: show what the skip buffer holds, empty the receive queue,
// discard pending input and output, close the port and free the entry.
#include <array>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "link/gwcoml1.h"
#include "link/gwcoml3.h"

using namespace ebd;

extern "C" int32_t WComClose(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    TraceLine(handle, "(EBD ) WComClose()");
    FlushSkipBuffer(handle);
    std::array<uint8_t, kMaxMessageData> data;
    uint16_t commandId = 0;
    uint16_t length = 0;
    while (NomiL3RemoveFromRxQueue(handle, &commandId, data.data(), &length) != kQueueEmpty)
        TraceLine(handle, "(EBD ) WComClose: Purge the Rx Queue...");
    PortEntry& entry = PortOf(handle);
    const bool open = entry.port != platform::kNoPort;
    if (open) {
        platform::Platform& os = platform::current();
        os.purge(entry.port);
        os.closePort(entry.port);
    }
    TraceLine(handle, "(EBD ) WComClose: O.K.");
    entry.traceHandle = 0;
    // The entry is free for another thread's WComOpen only now that this one
    // is done with it.
    if (open) ReleasePort(PortOfHandle(handle));
    return 1;
}
