// Writing the calibration store to the module. The module can only erase all
// calibration items at once, so the items already in NVRAM that no stored value
// replaces are read back first, and written again after the erase.
//
// From the erase until an item is in NVRAM again, the port owes it to the
// module: its bytes wait in the item's read-back slot. A call that fails in
// between leaves them there, and the next call on the port, in this session or
// a later one, writes them back before it decides on an erase of its own.
#include <array>

#include "lib/calstore.h"
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "lib/port_state.h"
#include "rpc/ebdrpc_nvram.h"
#include "rpc/nomierr.h"

namespace ebd {

namespace {

using namespace calstore;

// The read-back area (lib/port_state.h) lives as long as the process: neither
// a new session nor library initialisation clears it.
ReadBackArea& AreaOf(uint32_t handle) {
    return LibPort(handle).readBack;
}

constexpr uint32_t Bit(uint8_t id) {
    return 1u << id;
}

bool AutocalibrationValid(const LibraryPort& entry) {
    return entry.autoCalIq[0] != kNotStored && entry.autoCalIq[1] != kNotStored;
}

// The marked items that this call writes, and so replace what NVRAM holds of
// them. Autocalibration offsets that were never measured are skipped: they
// replace nothing, and an item 18 in NVRAM is rescued like any other.
uint32_t Replaced(const LibraryPort& entry, uint32_t marked) {
    uint32_t replaced = 0;
    for (uint8_t id = 0; id < kItemCount; ++id)
        if ((marked & Bit(id)) != 0 && ItemSize(id) != 0) replaced |= Bit(id);
    if (!AutocalibrationValid(entry)) replaced &= ~Bit(kTxDcAutocalibrationIqOffsets);
    return replaced;
}

// Writes calibration item `id` from its read-back slot; once it is in NVRAM
// again, the port no longer owes it.
bool RewriteSlot(uint32_t handle, ReadBackArea& area, uint8_t id) {
    const ReadBackSlot& slot = area.slots[id];
    if (WWriteNVRAMCalibrationItem(handle, id, slot.data.data(), slot.count) != 1) {
        Trace(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WWriteNVRAMCalibrationItem fails with error %d",
              PortOf(handle).lastError.load());
        return false;
    }
    area.owed &= ~Bit(id);
    Trace(handle, "(EBD) Successfully re-written calibration item %d", id);
    return true;
}

// Writes back what an earlier call erased and could not write again. An owed
// item that this call's stored value replaces stays owed until that value is
// written. False when a write fails: nothing has been erased by this call.
bool WriteBackOwed(uint32_t handle, ReadBackArea& area, uint32_t replaced) {
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((area.owed & Bit(id)) == 0) continue;
        if ((replaced & Bit(id)) != 0) {
            Trace(handle,
                  "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem %d still owed to NVRAM, "
                  "replaced by stored value",
                  id);
            continue;
        }
        Trace(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem %d still owed to NVRAM, write it back...",
              id);
        if (!RewriteSlot(handle, area, id)) return false;
    }
    return true;
}

// A reset erases all calibration items: what was owed is given up with them.
void DropOwed(uint32_t handle, ReadBackArea& area) {
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((area.owed & Bit(id)) == 0) continue;
        Trace(
            handle,
            "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem %d still owed to NVRAM, dropped by erase all",
            id);
    }
    area.owed = 0;
}

// Asks whether calibration item `id` is in NVRAM; false when the check fails.
bool CheckItem(uint32_t handle, uint8_t id, bool* exists) {
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WCheckNVRAMCalibrationItem()...");
    uint8_t blockExists = 0;
    if (WCheckNVRAMCalibrationItem(handle, id, &blockExists) != 1) {
        Trace(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WCheckNVRAMCalibrationItem fails with error %d",
              PortOf(handle).lastError.load());
        return false;
    }
    *exists = blockExists != 0;
    return true;
}

// Finds out whether a marked item is in NVRAM already (`found`), and if so,
// every item of ids 0 to 18 that NVRAM holds (`present`). Returns false when a
// check fails.
bool FindItemsInNvram(uint32_t handle, uint32_t marked, bool* found, uint32_t* present) {
    uint32_t tested = 0;
    int first = -1;
    *present = 0;
    for (uint8_t id = 0; id < kItemCount && first < 0; ++id) {
        if ((marked & Bit(id)) == 0) continue;
        bool exists = false;
        if (!CheckItem(handle, id, &exists)) return false;
        tested |= Bit(id);
        if (exists) {
            *present |= Bit(id);
            first = id;
        }
    }
    *found = first >= 0;
    if (first < 0) return true;
    Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem %d already existent in NVRAM", first);
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((tested & Bit(id)) != 0) continue;
        bool exists = false;
        if (!CheckItem(handle, id, &exists)) return false;
        if (exists) {
            Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem %d already existent in NVRAM",
                  id);
            *present |= Bit(id);
        }
    }
    return true;
}

// Reads the items to rescue into the port's read-back slots. Only a module
// that answers the read with the status "no such item" lets an item go
// without its bytes; every other failure stops the call before the erase.
bool ReadBack(uint32_t handle, ReadBackArea& area, uint32_t rescue) {
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((rescue & Bit(id)) == 0) continue;
        ReadBackSlot& slot = area.slots[id];
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

// From the erase on, every item NVRAM held is owed until it is written again:
// the rescued ones from their slots, the replaced ones as the stored value
// that replaces them, kept in their slots too (the next session may have
// other records, or none marked). A slot still owed from an earlier call
// keeps what it holds.
void OweErasedItems(uint32_t handle, ReadBackArea& area, uint32_t present, uint32_t replaced) {
    const uint32_t snapshot = present & replaced & ~area.owed;
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((snapshot & Bit(id)) == 0) continue;
        ReadBackSlot& slot = area.slots[id];
        slot.count = static_cast<uint16_t>(ItemImage(PortOfHandle(handle), id, slot.data.data()));
    }
    area.owed |= present;
}

// Erases all calibration items, keeping the module's others, and writes the
// rescued items again.
bool EraseAndRewrite(uint32_t handle, ReadBackArea& area, uint32_t present, uint32_t replaced,
                     uint32_t rescue) {
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items...");
    OweErasedItems(handle, area, present, replaced);
    WSaveAllOtherNVRAMCalibrationItems(handle, kLastCalItem);
    WEraseAllNVRAMCalibrationItems(handle);
    WRestoreAllOtherNVRAMCalibrationItems(handle, kLastCalItem);
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((rescue & Bit(id)) == 0) continue;
        if (!RewriteSlot(handle, area, id)) return false;
    }
    return true;
}

// Whether the autocalibration offsets go to the module: not when they were
// never measured, nor when the firmware does not know the item. False when the
// check fails.
bool AutocalibrationWanted(uint32_t handle, bool* wanted) {
    const LibraryPort& entry = LibPort(handle);
    *wanted = false;
    if (!AutocalibrationValid(entry)) return true;
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

// Writes every marked item's record. An item written (or one the firmware does
// not know) is no longer owed.
bool WriteMarked(uint32_t handle, ReadBackArea& area, uint32_t marked) {
    const int port = PortOfHandle(handle);
    for (uint8_t id = 0; id < kItemCount; ++id) {
        // No store operation marks the ids without a record.
        if ((marked & Bit(id)) == 0 || ItemSize(id) == 0) continue;
        TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WWriteNVRAMCalibrationItem()...");
        if (id == kTxDcAutocalibrationIqOffsets) {
            bool wanted = false;
            if (!AutocalibrationWanted(handle, &wanted)) return false;
            if (!wanted) {
                area.owed &= ~Bit(id);
                continue;
            }
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
        area.owed &= ~Bit(id);
    }
    return true;
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WWriteAllStoredValuesToModuleNVRAM(EBDHandle handle, int32_t resetFlag) {
    if (!HandleValid(handle)) return 0;
    LibraryPort& entry = LibPort(handle);
    ReadBackArea& area = AreaOf(handle);
    const uint32_t marked = entry.storedCalibrationItems;
    Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM(resetFlag=%d, storedCalibrationItems=0x%08x)",
          resetFlag, marked);
    if (resetFlag != 0) {
        TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items...");
        DropOwed(handle, area);
        WEraseAllNVRAMCalibrationItems(handle);
    } else {
        const uint32_t replaced = Replaced(entry, marked);
        if (!WriteBackOwed(handle, area, replaced)) return 0;
        bool found = false;
        uint32_t present = 0;
        if (!FindItemsInNvram(handle, marked, &found, &present)) return 0;
        // While no marked item is in NVRAM, the new ones are simply added.
        if (found) {
            // What is still owed now is replaced later in this call: it is not
            // in NVRAM to be read, and its slot is not touched.
            const uint32_t rescue = present & ~replaced & ~area.owed;
            if (!ReadBack(handle, area, rescue)) return 0;
            if (!EraseAndRewrite(handle, area, present, replaced, rescue)) return 0;
        }
    }
    if (!WriteMarked(handle, area, marked)) return 0;
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: clear storedCalibrationItems");
    entry.storedCalibrationItems = 0;
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: O.K.");
    return 1;
}
