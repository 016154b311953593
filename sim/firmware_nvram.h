// The module's NVRAM and the burst, slot and frame configuration, as the
// double's firmware keeps them: user items by user id and key, calibration
// items by id, the save and restore of the other calibration items around an
// erase, the band mode, and confirms for the burst, slot and frame requests.
//
// Every request answers with a well-formed confirm. A step fails when told:
// firmware.refuse(requestId, status) puts `status` into the confirm's status
// field (for the slot and frame definitions, whose success is 1, the status is
// sent as it is; for the TDMA frame, the burst type echoed differs), and the
// memory below fails single items.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "sim/firmware.h"

namespace ebd::sim {

struct NvramMemory {
    // User items by (userId, key); calibration items by id.
    std::map<std::pair<uint32_t, uint16_t>, std::vector<uint8_t>> userItems;
    std::map<uint16_t, std::vector<uint8_t>> calibrationItems;
    // Calibration ids the firmware does not know: their checks answer status 4.
    std::set<uint16_t> unknownIds;
    // Items kept aside by the save-all-other request until the restore.
    std::map<uint16_t, std::vector<uint8_t>> savedOther;

    // Faults of single calibration items: the status a read (of more than one
    // byte) or a write of that id answers, and reads answered with a foreign
    // reference.
    std::map<uint16_t, uint8_t> readStatus;
    std::set<uint16_t> readForeignReference;
    std::map<uint16_t, uint8_t> writeStatus;
    // The item length a read reports for an id, in place of the true one.
    std::map<uint16_t, uint16_t> reportedLength;
    // Called with the id and the read size of each calibration read or check as
    // it comes in, before it is answered: a test can set up faults for the
    // requests that follow (the frames of the next request NAKed, its confirm
    // withheld).
    std::function<void(uint16_t id, uint16_t readSize)> onCalibrationRead;
    // Called with each calibration write, erase, save and restore request once
    // the memory has taken it, before its confirm goes out: a test can end the
    // host's side there (the module falls silent), as a crash of the host would.
    std::function<void(const Request& request)> afterCalibrationChange;

    // Band mode: the next `failedBandModeReads` reads report failure; with
    // `ignoreBandModeWrites` the mode never changes.
    uint8_t bandMode = 0;
    int failedBandModeReads = 0;
    bool ignoreBandModeWrites = false;
};

// Installs the handlers of the NVRAM, band-mode, burst, slot and frame
// requests on `firmware`, with an NVRAM memory of their own or `memory`.
void InstallNvramHandlers(Firmware& firmware);
void InstallNvramHandlers(Firmware& firmware, std::shared_ptr<NvramMemory> memory);

}  // namespace ebd::sim
