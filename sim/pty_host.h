// The real-time host of a simulated peer: it serves the peer on the master
// side of a pseudo-terminal, so that programs open the slave side like a
// serial port. Time is CLOCK_MONOTONIC in nanoseconds.
//
// A pseudo-terminal has no modem lines: the peer sees only baud rate and stop
// bits change (read from the slave's terminal settings), and DTR only when
// the owner of the host raises it with setDtr().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim_platform.h"

namespace ebd::sim {

class PtyHost {
public:
    // Opens a pseudo-terminal for `peer`, which must outlive the host. Returns
    // nullptr and says why in `error` when that fails.
    static std::unique_ptr<PtyHost> Open(platform::SimPeer& peer, std::string* error);

    PtyHost(const PtyHost&) = delete;
    PtyHost& operator=(const PtyHost&) = delete;
    ~PtyHost();

    // The device that programs open, for example /dev/pts/4.
    const std::string& slavePath() const { return slavePath_; }

    // Serves the peer for at most `maxWaitNs`: waits for the other side's bytes
    // until the peer has something to do, then hands over what came and writes
    // what is due. Returns false when the pseudo-terminal failed.
    bool serveFor(uint64_t maxWaitNs);

    // The ignition line as the peer sees it.
    void setDtr(bool raised);

    static uint64_t nowNs();

private:
    PtyHost(platform::SimPeer& peer, int master, int slave, std::string slavePath);
    // Reads the slave's settings and tells the peer when baud or stop bits changed.
    void followLine(uint64_t nowNs);
    bool takeInput(uint64_t nowNs);
    // Moves due output of the peer to the master and writes as much as it takes.
    bool writeDueOutput(uint64_t nowNs);
    // When the host must look at the peer again; UINT64_MAX for never.
    uint64_t nextWakeNs() const;

    platform::SimPeer& peer_;
    int master_ = -1;
    // Held open for the host's whole life: when the last other program closes
    // the slave, the master does not see a hang-up, and the settings stay.
    int slave_ = -1;
    std::string slavePath_;
    platform::LineSettings line_;
    // Bytes due to the other side that the pseudo-terminal has not taken yet.
    std::vector<uint8_t> pending_;
};

}  // namespace ebd::sim
