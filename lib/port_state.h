// What the library keeps for each port, in one table beside the session
// core's port table. The link stack's per-port state, the session's target
// version and the exit records stay in the core's PortEntry
// (core/ebd_types.h), because the layers below the library write them;
// everything the library's own operations keep is here. What WInitLibrary and
// WComOpen reset is in lib/port_state.cpp, and nowhere else.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "lib/burst_patterns.h"
#include "lib/cal_journal.h"
#include "lib/calstore.h"

namespace ebd {

struct IqPair {
    uint8_t i = 0;
    uint8_t q = 0;
};

namespace calstore {

inline constexpr size_t kAgcSize = 208;
inline constexpr size_t kAfcSize = 16;
inline constexpr size_t kScalingSize = 256;
inline constexpr size_t kOffsetsSize = 16;

// The records of the calibration items that are not built from the offsets
// below, in the byte layout the module expects.
struct Records {
    std::array<uint8_t, kAgcSize> agcGainWords{};
    std::array<uint8_t, kAgcSize> agcAccurateValues{};
    std::array<uint8_t, kAfcSize> afc{};
    std::array<uint8_t, kScalingSize> gmskScalingFactors{};
    std::array<uint8_t, kScalingSize> epskScalingFactors{};
    std::array<uint8_t, kOffsetsSize> amLoopOffsets{};
    std::array<uint8_t, kOffsetsSize> txDacOffsets{};
};

// The read-back area of the write-back: one slot per calibration item id, a
// byte count and the item's data. What the port owes to the module is kept in
// the calibration journal on disk (lib/cal_journal.h), not here.
inline constexpr uint16_t kReadBackSize = caljournal::kMaxItemSize;
struct ReadBackSlot {
    uint16_t count = 0;
    std::array<uint8_t, kReadBackSize> data{};
};
struct ReadBackArea {
    std::array<ReadBackSlot, kItemCount> slots{};
};

}  // namespace calstore

inline constexpr uint16_t kGainCodeTableEntries = 16;

struct LibraryPort {
    // Reset by WInitLibrary.
    uint8_t dualBandMode = 0;
    uint16_t gainCodeTableSize = 0;
    // Reset by WInitLibrary and by WComOpen: the calibration items stored and
    // not yet written to the module, one bit per item id.
    uint32_t storedCalibrationItems = 0;
    // Invalidated (set to calstore::kNotStored) by WComOpen: the I byte of each
    // GMSK pair, and both autocalibration values.
    std::array<IqPair, 4> gmskTxIq{};
    std::array<int16_t, 2> autoCalIq{};

    // Kept for the life of the program.
    std::array<IqPair, 4> epskTxIq{};
    calstore::Records records;
    calstore::ReadBackArea readBack;
    std::array<uint16_t, kGainCodeTableEntries> gainCodes{};
    uint16_t gainCodeIndex = 0;  // the next gain code to hand out
    std::array<uint16_t, burst::kGmskWords> gmskBurst{};
    std::array<uint16_t, burst::k8pskWords> epskBurst{};
};

// The entry of port `port` (1 to 32); other numbers give an entry no session
// uses.
LibraryPort& LibraryPortOf(int port);
// The entry a valid handle names; the caller has checked the handle.
LibraryPort& LibPort(uint32_t handle);

// WInitLibrary's part: resets the session core's port table, then what the
// library keeps per port. For when no operation runs.
void ResetAllPorts();
// WComOpen's part, on the new session's handle: resets what a session starts
// without, and traces each step.
void StartSessionState(uint32_t handle);

}  // namespace ebd
