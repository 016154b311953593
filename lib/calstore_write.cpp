// Writing the calibration store to the module. The module can only erase all
// calibration items at once, so the items already in NVRAM that no stored value
// replaces are read back first, and written again after the erase.
//
// From the erase until an item is in NVRAM again, the item is owed to the
// module. What is owed is put on disk before the erase request goes out, in
// the module's calibration journal (lib/cal_journal.h), and stays there until
// the call has written everything: a call that fails in between, or a process
// that dies, leaves it for the next write-back on that module, in any process,
// which writes it back before it decides on an erase of its own. The journal
// is bound to the module's flash serial number: another module on the port
// gets nothing of it.
#include <algorithm>
#include <array>
#include <new>
#include <string>
#include <vector>

#include "lib/cal_journal.h"
#include "lib/calstore.h"
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "lib/port_state.h"
#include "platform/state_files.h"
#include "rpc/ebdrpc_nvram.h"
#include "rpc/nomierr.h"

namespace ebd {

namespace {

using namespace calstore;

// The read-back area (lib/port_state.h) lives as long as the process; what
// it holds counts only for the ids the call owes (below).
// What one call owes to NVRAM, as its journal holds it: a bit per id whose
// slot holds an item erased from NVRAM and not yet written there again.
struct Owed {
    uint32_t mask = 0;
    bool identityKnown = false;
    caljournal::Identity identity{};
    bool journalled = false;  // the module's entry is on disk
    uint32_t onDisk = 0;      // the ids it holds
    // The module's other items are saved aside and not yet restored; and
    // whether the entry on disk says so.
    bool othersSaved = false;
    bool othersSavedOnDisk = false;
    std::string name;  // the entry's file name, once the identity is known
};

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

// ---- The journal ----------------------------------------------------------------

// Reads the module's flash serial number, the identity its journal is bound
// to: set in the module's flash when it is made, unlike the IMEI and the
// serial number, which calibration stations write.
bool ReadIdentity(uint32_t handle, Owed& owed) {
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WGetFlashSerialNumber()...");
    uint32_t serialNumber = 0;
    if (WGetFlashSerialNumber(handle, &serialNumber, owed.identity.data()) != 1) {
        Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WGetFlashSerialNumber fails with error %d",
              PortOf(handle).lastError.load());
        return false;
    }
    owed.identityKnown = true;
    owed.name = caljournal::FileName(owed.identity);
    return true;
}

bool JournalFailed(uint32_t handle, const Owed& owed, const char* what) {
    Fail(handle, EBD_ERR_JOURNAL, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: journal %s %s",
         owed.name.c_str(), what);
    return false;
}

caljournal::Entry EntryOf(const ReadBackArea& area, const Owed& owed) {
    caljournal::Entry journal;
    journal.identity = owed.identity;
    journal.othersSaved = owed.othersSaved;
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((owed.mask & Bit(id)) == 0) continue;
        const ReadBackSlot& slot = area.slots[id];
        journal.items.push_back(
            {id, std::vector<uint8_t>(slot.data.begin(), slot.data.begin() + slot.count)});
    }
    return journal;
}

// Puts every item the call owes on disk, replacing the module's entry.
bool SaveJournal(uint32_t handle, const ReadBackArea& area, Owed& owed) {
    const caljournal::Entry journal = EntryOf(area, owed);
    if (!caljournal::Save(journal)) return JournalFailed(handle, owed, "cannot be written, nothing erased");
    owed.journalled = true;
    owed.onDisk = owed.mask;
    owed.othersSavedOnDisk = owed.othersSaved;
    Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: journal %s written, %d items",
          owed.name.c_str(), static_cast<int>(journal.items.size()));
    return true;
}

// Asks the module to put its other items back after an erase.
bool RestoreOthers(uint32_t handle, Owed& owed) {
    if (WRestoreAllOtherNVRAMCalibrationItems(handle, kLastCalItem) != 1) {
        Trace(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WRestoreAllOtherNVRAMCalibrationItems fails with "
              "error %d",
              PortOf(handle).lastError.load());
        return false;
    }
    owed.othersSaved = false;
    return true;
}

// Takes up what an earlier call (of any process) left owed to this module:
// its items go into the read-back slots and become this call's debt. Entries
// of other modules are left as they are. False when the state directory holds
// an entry but this module's cannot be told or read: nothing has been written.
bool TakeUpJournal(uint32_t handle, ReadBackArea& area, Owed& owed) {
    std::vector<std::string> pending;
    if (!caljournal::Pending(&pending)) {
        Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: state directory %s cannot be used",
              platform::stateDirectory().c_str());
        return true;
    }
    if (pending.empty()) return true;
    if (!ReadIdentity(handle, owed)) return false;
    for (const std::string& name : pending)
        if (name != owed.name)
            Trace(handle,
                  "(EBD ) WWriteAllStoredValuesToModuleNVRAM: journal %s of another module left untouched",
                  name.c_str());
    caljournal::Entry journal;
    std::string aside;
    switch (caljournal::LoadEntry(owed.identity, &journal, &aside)) {
        case caljournal::Load::None:
            return true;
        case caljournal::Load::Failed:
            return JournalFailed(handle, owed, "cannot be read");
        case caljournal::Load::Damaged:
            if (aside.empty())
                Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: journal %s damaged, not applied",
                      owed.name.c_str());
            else
                Trace(
                    handle,
                    "(EBD ) WWriteAllStoredValuesToModuleNVRAM: journal %s damaged, not applied, kept as %s",
                    owed.name.c_str(), aside.c_str());
            return true;
        case caljournal::Load::Found:
            break;
    }
    for (const caljournal::Item& item : journal.items) {
        ReadBackSlot& slot = area.slots[item.id];
        std::copy(item.data.begin(), item.data.end(), slot.data.begin());
        slot.count = static_cast<uint16_t>(item.data.size());
        owed.mask |= Bit(item.id);
    }
    owed.journalled = true;
    owed.onDisk = owed.mask;
    owed.othersSaved = owed.othersSavedOnDisk = journal.othersSaved;
    Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: journal %s holds %d items owed to NVRAM",
          owed.name.c_str(), static_cast<int>(journal.items.size()));
    // Cut off between its save and its restore, the module still keeps its
    // other items aside: they go back first.
    return !owed.othersSaved || RestoreOthers(handle, owed);
}

// An owed item that this call's stored value replaces is written once, with
// the new value: the journal takes that value first, so that a call cut off
// after the write never brings back the old one.
bool JournalNewValues(uint32_t handle, ReadBackArea& area, Owed& owed, uint32_t replaced) {
    bool changed = false;
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((owed.mask & replaced & Bit(id)) == 0) continue;
        std::array<uint8_t, kMaxRecordSize> record{};
        const size_t size = ItemImage(PortOfHandle(handle), id, record.data());
        ReadBackSlot& slot = area.slots[id];
        if (slot.count == size && std::equal(record.begin(), record.begin() + size, slot.data.begin()))
            continue;
        std::copy(record.begin(), record.begin() + size, slot.data.begin());
        slot.count = static_cast<uint16_t>(size);
        changed = true;
    }
    return !changed || SaveJournal(handle, area, owed);
}

// A call that stops early leaves on disk only what it still owes, so that the
// next call writes no item twice. Quietly: the call's own failure is what it
// reports, and an entry that cannot be narrowed still holds all that is owed.
void NarrowJournal(const ReadBackArea& area, const Owed& owed) {
    if (!owed.journalled || (owed.mask == owed.onDisk && owed.othersSaved == owed.othersSavedOnDisk)) return;
    if (owed.mask == 0 && !owed.othersSaved) {
        caljournal::Remove(owed.identity);
        return;
    }
    caljournal::Save(EntryOf(area, owed));
}

// Once everything is in NVRAM, the module's entry goes.
bool RemoveJournal(uint32_t handle, const Owed& owed) {
    if (!owed.journalled) return true;
    if (!caljournal::Remove(owed.identity)) return JournalFailed(handle, owed, "cannot be removed");
    Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: journal %s removed", owed.name.c_str());
    return true;
}

// ---- The write-back ------------------------------------------------------------

// Writes calibration item `id` from its read-back slot; once it is in NVRAM
// again, the call no longer owes it. (Its journal entry stays until the call
// is done: writing it once more is harmless.)
bool RewriteSlot(uint32_t handle, ReadBackArea& area, Owed& owed, uint8_t id) {
    const ReadBackSlot& slot = area.slots[id];
    if (WWriteNVRAMCalibrationItem(handle, id, slot.data.data(), slot.count) != 1) {
        Trace(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WWriteNVRAMCalibrationItem fails with error %d",
              PortOf(handle).lastError.load());
        return false;
    }
    owed.mask &= ~Bit(id);
    Trace(handle, "(EBD) Successfully re-written calibration item %d", id);
    return true;
}

// Writes back what an earlier call erased and could not write again. An owed
// item that this call's stored value replaces stays owed until that value is
// written. False when a write fails: nothing has been erased by this call.
bool WriteBackOwed(uint32_t handle, ReadBackArea& area, Owed& owed, uint32_t replaced) {
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((owed.mask & Bit(id)) == 0) continue;
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
        if (!RewriteSlot(handle, area, owed, id)) return false;
    }
    return true;
}

// A reset erases all calibration items: what was owed is given up with them.
void DropOwed(uint32_t handle, Owed& owed) {
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((owed.mask & Bit(id)) == 0) continue;
        Trace(
            handle,
            "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem %d still owed to NVRAM, dropped by erase all",
            id);
    }
    owed.mask = 0;
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
                Fail(handle, kRpcNoMemory,
                     "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WReadNVRAMCalibrationItem fails with "
                     "error %d",
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
void OweErasedItems(uint32_t handle, ReadBackArea& area, Owed& owed, uint32_t present, uint32_t replaced) {
    const uint32_t snapshot = present & replaced & ~owed.mask;
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((snapshot & Bit(id)) == 0) continue;
        ReadBackSlot& slot = area.slots[id];
        slot.count = static_cast<uint16_t>(ItemImage(PortOfHandle(handle), id, slot.data.data()));
    }
    owed.mask |= present;
}

// Erases all calibration items, keeping the module's others, and writes the
// rescued items again. What the erase takes is in the journal first; a module
// that does not keep its other items aside is not erased at all.
bool EraseAndRewrite(uint32_t handle, ReadBackArea& area, Owed& owed, uint32_t present, uint32_t replaced,
                     uint32_t rescue) {
    if (!owed.identityKnown && !ReadIdentity(handle, owed)) return false;
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items...");
    if (WSaveAllOtherNVRAMCalibrationItems(handle, kLastCalItem) != 1) {
        Trace(handle,
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WSaveAllOtherNVRAMCalibrationItems fails with "
              "error %d",
              PortOf(handle).lastError.load());
        return false;
    }
    OweErasedItems(handle, area, owed, present, replaced);
    owed.othersSaved = true;
    if (!SaveJournal(handle, area, owed)) return false;
    WEraseAllNVRAMCalibrationItems(handle);
    const bool restored = WRestoreAllOtherNVRAMCalibrationItems(handle, kLastCalItem) == 1;
    const uint16_t restoreError = PortOf(handle).lastError.load();
    if (restored) owed.othersSaved = false;
    for (uint8_t id = 0; id < kItemCount; ++id) {
        if ((rescue & Bit(id)) == 0) continue;
        if (!RewriteSlot(handle, area, owed, id)) return false;
    }
    if (!restored) {
        // The module's other items are not back: no success over them. The
        // journal keeps asking for their restore.
        Fail(handle, restoreError,
             "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WRestoreAllOtherNVRAMCalibrationItems fails with "
             "error %d",
             restoreError);
        return false;
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
        Fail(handle, error,
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
bool WriteMarked(uint32_t handle, Owed& owed, uint32_t marked) {
    const int port = PortOfHandle(handle);
    for (uint8_t id = 0; id < kItemCount; ++id) {
        // No store operation marks the ids without a record.
        if ((marked & Bit(id)) == 0 || ItemSize(id) == 0) continue;
        TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WWriteNVRAMCalibrationItem()...");
        if (id == kTxDcAutocalibrationIqOffsets) {
            bool wanted = false;
            if (!AutocalibrationWanted(handle, &wanted)) return false;
            if (!wanted) {
                owed.mask &= ~Bit(id);
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
        owed.mask &= ~Bit(id);
    }
    return true;
}

}  // namespace

}  // namespace ebd

using namespace ebd;

namespace ebd {
namespace {

// The write-back proper; false when it stops early.
bool WriteAll(uint32_t handle, int32_t resetFlag, ReadBackArea& area, Owed& owed) {
    LibraryPort& entry = LibPort(handle);
    const uint32_t marked = entry.storedCalibrationItems;
    if (resetFlag != 0) {
        TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items...");
        if (!TakeUpJournal(handle, area, owed)) return false;
        DropOwed(handle, owed);
        if (WEraseAllNVRAMCalibrationItems(handle) != 1) {
            Trace(handle,
                  "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WEraseAllNVRAMCalibrationItems fails with "
                  "error %d",
                  PortOf(handle).lastError.load());
            return false;
        }
        // What was owed has gone with the erase.
        if (!RemoveJournal(handle, owed)) return false;
        owed.journalled = false;
    } else {
        const uint32_t replaced = Replaced(entry, marked);
        if (!TakeUpJournal(handle, area, owed)) return false;
        if (!WriteBackOwed(handle, area, owed, replaced)) return false;
        bool found = false;
        uint32_t present = 0;
        if (!FindItemsInNvram(handle, marked, &found, &present)) return false;
        // While no marked item is in NVRAM, the new ones are simply added.
        if (found) {
            // What is still owed now is replaced later in this call: it is not
            // in NVRAM to be read, and its slot is not touched.
            const uint32_t rescue = present & ~replaced & ~owed.mask;
            if (!ReadBack(handle, area, rescue)) return false;
            if (!EraseAndRewrite(handle, area, owed, present, replaced, rescue)) return false;
        }
        if (!JournalNewValues(handle, area, owed, replaced)) return false;
    }
    return WriteMarked(handle, owed, marked) && RemoveJournal(handle, owed);
}

}  // namespace
}  // namespace ebd

extern "C" int32_t WWriteAllStoredValuesToModuleNVRAM(EBDHandle handle, int32_t resetFlag) {
    if (!HandleValid(handle)) return 0;
    LibraryPort& entry = LibPort(handle);
    Trace(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM(resetFlag=%d, storedCalibrationItems=0x%08x)",
          resetFlag, entry.storedCalibrationItems);
    ReadBackArea& area = AreaOf(handle);
    Owed owed;
    try {
        if (!WriteAll(handle, resetFlag, area, owed)) {
            NarrowJournal(area, owed);
            return 0;
        }
    } catch (const std::bad_alloc&) {
        // The journal's bytes found no memory: what is on disk stays as it is.
        SetLastError(handle, kRpcNoMemory);
        return 0;
    }
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: clear storedCalibrationItems");
    entry.storedCalibrationItems = 0;
    TraceLine(handle, "(EBD ) WWriteAllStoredValuesToModuleNVRAM: O.K.");
    return 1;
}
