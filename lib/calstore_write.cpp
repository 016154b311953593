// Writing the calibration store to the module. The module can only erase all
// calibration items at once, so the items already in NVRAM that no stored value
// replaces are read back first, and written again after the erase.
#include <array>

#include "lib/calstore.h"
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "rpc/ebdrpc_nvram.h"
#include "rpc/nomierr.h"

namespace ebd {

namespace {

using namespace calstore;

// The read-back area: one slot per calibration item id, a byte count and the
// item's data.
constexpr uint16_t kReadBackSize = 1400;
struct ReadBackSlot {
    uint16_t count = 0;
    std::array<uint8_t, kReadBackSize> data{};
};
std::array<std::array<ReadBackSlot, kItemCount>, kMaxPort + 1> g_readBack;

constexpr uint32_t Bit(uint8_t id) {
    return 1u << id;
}

// Asks whether calibration item `id` is in NVRAM; false when the check fails.
bool CheckItem(uint32_t handle, uint8_t id, bool* exists) {
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WCheckNVRAMCalibrationItem()...");
    uint8_t blockExists = 0;
    if (WCheckNVRAMCalibrationItem(handle, id, &blockExists) != 1) {
        Trace(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WCheckNVRAMCalibrationItem fails with error %d",
              PortOf(handle).lastError);
        return false;
    }
    *exists = blockExists != 0;
    return true;
}

// Finds out whether a marked item is in NVRAM already (`found`), and if so,
// which items in NVRAM must survive the erase (`rescue`). Returns false when a
// check fails.
bool FindItemsToRescue(uint32_t handle, uint32_t marked, bool* found, uint32_t* rescue) {
    uint32_t tested = 0;
    uint32_t present = 0;
    int first = -1;
    for (uint8_t id = 0; id < kItemCount && first < 0; ++id) {
        if ((marked & Bit(id)) == 0) continue;
        bool exists = false;
        if (!CheckItem(handle, id, &exists)) return false;
        tested |= Bit(id);
        if (exists) {
            present |= Bit(id);
            first = id;
        }
    }
    *found = first >= 0;
    *rescue = 0;
    if (first < 0) return true;
    Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem %d already existent in NVRAM", first);
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((tested & Bit(id)) != 0) continue;
        bool exists = false;
        if (!CheckItem(handle, id, &exists)) return false;
        if (exists) {
            Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem %d already existent in NVRAM",
                  id);
            present |= Bit(id);
        }
    }
    *rescue = present & ~marked;
    return true;
}

// Reads the items to rescue into the port's read-back slots. Only a module
// that answers the read with the status "no such item" lets an item go
// without its bytes; every other failure stops the call before the erase.
bool ReadBack(uint32_t handle, uint32_t rescue) {
    auto& slots = g_readBack[static_cast<size_t>(PortOfHandle(handle))];
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((rescue & Bit(id)) == 0) continue;
        ReadBackSlot& slot = slots[id];
        TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WReadNVRAMCalibrationItem()...");
        uint16_t count = 0;
        uint8_t status = 0;
        if (ReadNVRAMCalibrationItem(handle, id, slot.data.data(), kReadBackSize, &count, &status) == 1) {
            if (status == kReadStatusNoSuchItem) {
                slot.count = 0;
                Trace(handle, "(TEST) No calibration item %d found", id);
                continue;
            }
            if (count > kReadBackSize) {
                // Only part of the item came back: writing that part after the
                // erase would corrupt it, so nothing is erased.
                SetLastError(handle, kRpcNoMemory);
                Trace(handle,
                      "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WReadNVRAMCalibrationItem fails with error "
                      "%d",
                      kRpcNoMemory);
                return false;
            }
            slot.count = count;
            Trace(handle, "(TEST) Successfully read calibration item %d, %d bytes", id, count);
            continue;
        }
        // A foreign reference, a failure status, no confirm: the module did
        // not say that the item is missing, and the check has just found it.
        const uint16_t error = WGetLastError(handle);
        Trace(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WReadNVRAMCalibrationItem fails with error %d",
              error);
        return false;
    }
    return true;
}

// Erases all calibration items, keeping the module's others, and writes the
// rescued items again.
bool EraseAndRewrite(uint32_t handle, uint32_t rescue) {
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items...");
    WSaveAllOtherNVRAMCalibrationItems(handle, kLastCalItem);
    WEraseAllNVRAMCalibrationItems(handle);
    WRestoreAllOtherNVRAMCalibrationItems(handle, kLastCalItem);
    const auto& slots = g_readBack[static_cast<size_t>(PortOfHandle(handle))];
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((rescue & Bit(id)) == 0) continue;
        const ReadBackSlot& slot = slots[id];
        if (WWriteNVRAMCalibrationItem(handle, id, slot.data.data(), slot.count) != 1) {
            Trace(handle,
                  "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WWriteNVRAMCalibrationItem fails with error %d",
                  PortOf(handle).lastError);
            return false;
        }
        Trace(handle, "(EBD) Successfully re-written calibration item %d", id);
    }
    return true;
}

// Whether the autocalibration offsets go to the module: not when they were
// never measured, nor when the firmware does not know the item. False when the
// check fails.
bool AutocalibrationWanted(uint32_t handle, bool* wanted) {
    const PortEntry& entry = PortOf(handle);
    *wanted = false;
    if (entry.autoCalIq[0] == kNotStored || entry.autoCalIq[1] == kNotStored) return true;
    TraceLine(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calling EBDRPCL1ALNVRAMCheckCal for "
              "EbdTxDcAutocalibrationIqOffsets");
    int8_t blockStatus = 0;
    const uint16_t error = EBDRPCL1ALNvRamCheckCal(handle, kTxDcAutocalibrationIqOffsets, &blockStatus);
    if (error != 0) {
        SetLastError(handle, error);
        Trace(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WCheckNVRAMCalibrationItem fails with error %d",
              error);
        return false;
    }
    if (blockStatus == kBlockUnknown) {
        TraceLine(handle,
                  "(EBD ) WWriteAllStoredValuesToModuleNVRAM: EbdTxDcAutocalibrationIqOffsets not known to "
                  "firmware "
                  "-> don't save, continue");
        return true;
    }
    Trace(handle, "(EBD ) blockStatus %d, save new values", blockStatus);
    *wanted = true;
    return true;
}

// Writes every marked item's record.
bool WriteMarked(uint32_t handle, uint32_t marked) {
    const int port = PortOfHandle(handle);
    for (uint8_t id = 0; id < kItemCount; ++id) {
        // No store operation marks the ids without a record.
        if ((marked & Bit(id)) == 0 || ItemSize(id) == 0) continue;
        TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WWriteNVRAMCalibrationItem()...");
        if (id == kTxDcAutocalibrationIqOffsets) {
            bool wanted = false;
            if (!AutocalibrationWanted(handle, &wanted)) return false;
            if (!wanted) continue;
        }
        std::array<uint8_t, kMaxRecordSize> record{};
        const size_t size = ItemImage(port, id, record.data());
        if (WWriteNVRAMCalibrationItem(handle, id, record.data(), static_cast<uint16_t>(size)) != 1) {
            const uint16_t error = WGetLastError(handle);
            Trace(handle,
                  "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WWriteNVRAMCalibrationItem(%d) fails with "
                  "error %d",
                  id, error);
            return false;
        }
    }
    return true;
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WWriteAllStoredValuesToModuleNVRAM(EBDHandle handle, int32_t resetFlag) {
    if (!HandleValid(handle)) return 0;
    PortEntry& entry = PortOf(handle);
    const uint32_t marked = entry.storedCalibrationItems;
    Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM(resetFlag=%d, storedCalibrationItems=0x%08x)",
          resetFlag, marked);
    if (resetFlag != 0) {
        TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items...");
        WEraseAllNVRAMCalibrationItems(handle);
    } else {
        bool found = false;
        uint32_t rescue = 0;
        if (!FindItemsToRescue(handle, marked, &found, &rescue)) return 0;
        // While no marked item is in NVRAM, the new ones are simply added.
        if (found) {
            if (!ReadBack(handle, rescue)) return 0;
            if (!EraseAndRewrite(handle, rescue)) return 0;
        }
    }
    if (!WriteMarked(handle, marked)) return 0;
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: clear storedCalibrationItems");
    entry.storedCalibrationItems = 0;
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: O.K.");
    return 1;
}
