// Confirms of the catalogue's remote calls: measurement, radio, registers,
// gain codes, identity and security, NVRAM items and the calibration store,
// bursts, slots and frames, each reached through its public operation while
// the module answers with whatever the input says.
#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz_peer.h"
#include "lib/port_state.h"

namespace {

// The calibration journal of the write-back goes to a directory of this run's
// own, never to the machine's state directory; it is removed at the end.
std::string g_stateDir;

void RemoveStateDir() {
    std::error_code error;
    std::filesystem::remove_all(g_stateDir, error);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/ebd-fuzz-state-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    g_stateDir = pattern;
    setenv("EBD_STATE_DIR", pattern, 1);
    std::atexit(RemoveStateDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ebd;
    if (size < 2) return 0;
    fuzz::FuzzPeer peer(data + 2, size - 2);
    fuzz::FuzzSession session(peer);
    const uint32_t h = session.handle();
    if (h == 0) return 0;
    PortOf(h).gotTargetVersion = data[0] & 0x80 ? 1 : 0;
    LibPort(h).dualBandMode = data[1] & 3;
    std::array<uint8_t, 1600> out{};
    std::array<uint16_t, 64> words{};
    const std::array<uint16_t, 8> addresses{1, 2, 3, 4, 5, 6, 7, 8};
    const std::array<uint8_t, 4> on{1, 0, 1, 0};
    int16_t s1 = 0, s2 = 0, s3 = 0;
    uint16_t u1 = 0, u2 = 0;
    uint8_t b = 0;
    switch (data[0] % 24) {
        case 0: WSetAFCAndMeasure(h, 10, 20, &s1); break;
        case 1: WGetPowerValue(h, 60, 3, data[1] & 1, &s1); break;
        case 2: WGetUsedIQOffsetValues(h, 1, words.data()); break;
        case 3: WGetLoopbackData(h, &s1, &s2, &u1, &u2, &s3); break;
        case 4: WBBCRegister(h, data[1], addresses.data(), addresses.data(), words.data()); break;
        case 5:
            WInitGainCodeTemplates(h, data[1] & 3, 2);
            for (int i = 0; i < 20; ++i) WGetNextGainCode(h, &u1);
            break;
        case 6: WGetSingleIE(h, &u1); break;
        case 7: WReadIMEI(h, out.data()); break;
        case 8: u1 = 3; WSetSecurityMode(h, &u1, 0x12345678); break;
        case 9: WGetMobileInformation(h, out.data()); break;
        case 10: WRequestChallenge(h, out.data()); break;
        case 11: WResetIMEIMode(h, &b); break;
        case 12: WReadNVRAMUserItem(h, 7, 9, out.data(), static_cast<uint16_t>(data[1] * 6), &u1); break;
        case 13: WCheckNVRAMCalibrationItem(h, data[1], &b); break;
        case 14: WReadNVRAMYKCalibrationItem(h, 300, out.data(), 1400, &u1); break;
        case 15:
            WOrreryStoreCalibrationDataAFC(h, 0x01020304, 0x0506);
            WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(h, 3, -4);
            WWriteAllStoredValuesToModuleNVRAM(h, data[1] & 1);
            break;
        case 16: WSetVaneBandMode(h, data[1]); break;
        case 17:
            WSetCircuitSwitchedTDMAFrame(h, data[1], on.data(), addresses.data(), addresses.data(), 1, 2, 3, 4, 500);
            break;
        case 18: WConfigureGPRSLogicalRxSlot(h, data[1] & 7, 100, data[1] >> 7); break;
        case 19: WSetEbdBurstDataMode(h, data[1] & 7, data[1] >> 3, data[1] >> 7); break;
        case 20: WSetAMLoopOffset(h, 1, 62, data[1], 100, 200); break;
        case 21: WStartLoopback(h, 1, 2, 3, 4, 5); break;
        case 22: WGetFlashSerialNumber(h, reinterpret_cast<uint32_t*>(words.data()), out.data()); break;
        default: WSetTxOffset(h, data[1], 3); break;
    }
    return 0;
}
