// What the calibration journal costs a write-back that erases: the library
// against module-sim on a pseudo-terminal, in real time, and the state
// directory on the disk of the build tree. Printed side by side (medians):
//   - the journalling write-back: WWriteAllStoredValuesToModuleNVRAM with one
//     marked item already in NVRAM and two more to rescue, so that it reads the
//     flash serial number, writes the journal (flushed, renamed, directory
//     flushed), erases, writes back and removes the journal;
//   - the same requests made one by one through the public operations, with
//     neither the serial number nor the journal: the write-back as it was
//     before the journal;
//   - the journal's own file work (write and remove), without the module.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "lib/cal_journal.h"
#include "lib/ebd.h"

namespace {

using ebd::bench::Median;
using ebd::bench::SimProcess;

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 15;

// NVRAM as each round finds it: items 0, 3 and 9; item 0 marked in the store.
bool Prepare(uint32_t handle) {
    const std::array<uint8_t, 20> item{3, 3, 3};
    const std::array<uint16_t, 26> agc{0x1111};
    return WWriteNVRAMCalibrationItem(handle, 0, item.data(), 1) == 1 &&
           WWriteNVRAMCalibrationItem(handle, 3, item.data(), 20) == 1 &&
           WWriteNVRAMCalibrationItem(handle, 9, item.data(), 1) == 1 &&
           WOrreryStoreCalibrationDataAGCGainWords(handle, 0, agc.data()) == 1;
}

// The write-back's requests without the serial number and the journal.
bool WithoutJournal(uint32_t handle) {
    uint8_t exists = 0;
    for (uint8_t id = 0; id <= 18; ++id)
        if (WCheckNVRAMCalibrationItem(handle, id, &exists) != 1) return false;
    std::array<uint8_t, 1400> slot3{}, slot9{};
    uint16_t count3 = 0, count9 = 0;
    std::array<uint16_t, 104> record{0x1111};
    if (WReadNVRAMCalibrationItem(handle, 3, slot3.data(), 1400, &count3) != 1 ||
        WReadNVRAMCalibrationItem(handle, 9, slot9.data(), 1400, &count9) != 1)
        return false;
    WSaveAllOtherNVRAMCalibrationItems(handle, 19);
    WEraseAllNVRAMCalibrationItems(handle);
    WRestoreAllOtherNVRAMCalibrationItems(handle, 19);
    return WWriteNVRAMCalibrationItem(handle, 3, slot3.data(), count3) == 1 &&
           WWriteNVRAMCalibrationItem(handle, 9, slot9.data(), count9) == 1 &&
           WWriteNVRAMCalibrationItem(handle, 0, reinterpret_cast<uint8_t*>(record.data()), 208) == 1;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main() {
    const auto stateDir = std::filesystem::current_path() / "journal-bench-state";
    std::filesystem::remove_all(stateDir);
    setenv("EBD_STATE_DIR", stateDir.c_str(), 1);
    SimProcess sim({"--start", "nomi"});
    if (sim.device().empty()) {
        std::fprintf(stderr, "journal_bench: module-sim did not start\n");
        return 1;
    }
    setenv("EBD_COM1", sim.device().c_str(), 1);
    WDisableTraceFile();
    WInitLibrary();
    const uint32_t handle = WComOpen(1, 115200, 0);
    if (handle == 0) {
        std::fprintf(stderr, "journal_bench: cannot open %s\n", sim.device().c_str());
        return 1;
    }
    std::vector<double> journalling, plain, files;
    for (int round = 0; round < kRounds; ++round) {
        if (!Prepare(handle)) return 1;
        auto start = Clock::now();
        if (WWriteAllStoredValuesToModuleNVRAM(handle, 0) != 1) {
            std::fprintf(stderr, "journal_bench: the write-back failed, last error %u\n",
                         WGetLastError(handle));
            return 1;
        }
        journalling.push_back(Seconds(start));
        if (!Prepare(handle)) return 1;
        start = Clock::now();
        if (!WithoutJournal(handle)) return 1;
        plain.push_back(Seconds(start));

        ebd::caljournal::Entry entry;
        entry.items = {{3, std::vector<uint8_t>(20, 3)}, {9, {3}}, {0, std::vector<uint8_t>(208, 0x11)}};
        start = Clock::now();
        if (!ebd::caljournal::Save(entry) || !ebd::caljournal::Remove(entry.identity)) return 1;
        files.push_back(Seconds(start));
    }
    WComClose(handle);
    std::filesystem::remove_all(stateDir);
    const double withJournal = Median(journalling);
    const double without = Median(plain);
    std::printf("calibration write-back that erases, module-sim on a pseudo-terminal, %d rounds (medians)\n",
                kRounds);
    std::printf("  %-44s %9.1f ms\n", "with journal (serial number, journal, erase)", withJournal * 1e3);
    std::printf("  %-44s %9.1f ms\n", "the same requests without journal", without * 1e3);
    std::printf("  %-44s %9.3f ms\n", "journal file alone (write + remove, flushed)", Median(files) * 1e3);
    std::printf("  %-44s %9.3f  (goal <= 1.05)\n", "ratio", without > 0 ? withJournal / without : 0.0);
    std::printf("  state directory: %s\n", stateDir.c_str());
    return 0;
}
