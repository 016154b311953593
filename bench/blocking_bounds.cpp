// How long each public operation may block: every operation runs on a fresh
// session under the simulated platform's virtual clock, against a module that
// behaves and against modules that misbehave in each way the module double
// offers (silence, NAKs, garbage, withheld or refused confirms, a module that
// never switches off, ...). The table shows the virtual time of each operation
// per module and the worst of them, in milliseconds; the header's "blocks at
// most" figures are that worst case, rounded up to whole seconds.
//
// Usage: blocking_bounds [OPERATION-PREFIX]
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lib/ebd.h"
#include "platform/sim_platform.h"
#include "sim/module_double.h"

namespace {

using ebd::sim::ModuleDouble;

// One way the module at the far end may behave.
struct Behaviour {
    const char* name;
    std::function<void(ModuleDouble::Settings&, ebd::sim::Firmware::Config&)> configure;
    std::function<void(ModuleDouble&)> arm;  // faults armed once the session is open
};

constexpr int kForever = 1'000'000'000;

std::vector<Behaviour> Behaviours() {
    const auto nomi = [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config&) {
        s.start = ModuleDouble::State::Nomi;
    };
    const auto none = [](ModuleDouble&) {};
    const auto endless = [](ModuleDouble::Endless kind) {
        return [kind](ModuleDouble& m) { m.startEndless(kind, ModuleDouble::kAnyRequest); };
    };
    return {
        {"nomi", nomi, none},
        {"at",
         [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config&) { s.start = ModuleDouble::State::At; },
         none},
        {"off",
         [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config&) { s.start = ModuleDouble::State::Off; },
         none},
        {"silent",
         [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config&) {
             s.start = ModuleDouble::State::Nomi;
             s.silence = ModuleDouble::Silence::All;
         },
         none},
        {"no-comm",
         [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config&) {
             s.start = ModuleDouble::State::Off;
             s.noCommunicationAnswer = true;
         },
         none},
        {"slow",
         [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config& c) {
             s.start = ModuleDouble::State::Nomi;
             c.confirmDelayNs = 990'000'000;
             c.atAnswerDelayNs = 990'000'000;
             c.furtherAnswerDelayNs = 990'000'000;
         },
         none},
        {"naks", nomi, [](ModuleDouble& m) { m.nakHostFrames(kForever); }},
        {"withholds", nomi,
         [](ModuleDouble& m) { m.withholdConfirm(ModuleDouble::kAnyRequest, ModuleDouble::kAlways); }},
        {"foreign-ref", nomi,
         [](ModuleDouble& m) { m.foreignReference(ModuleDouble::kAnyRequest, ModuleDouble::kAlways); }},
        {"refuses", nomi,
         [](ModuleDouble& m) {
             for (uint16_t id = 1; id < 512; id += 2) m.firmware().refuse(id, 1);
         }},
        {"short-confirm", nomi,
         [](ModuleDouble& m) { m.cutConfirm(ModuleDouble::kAnyRequest, 2, ModuleDouble::kAlways); }},
        {"stx-flood", nomi, endless(ModuleDouble::Endless::StxFlood)},
        {"stray-bytes", nomi, endless(ModuleDouble::Endless::StrayBytes)},
        {"bad-check", nomi, endless(ModuleDouble::Endless::BadCheckFrame)},
        {"same-segment",
         [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config&) {
             s.start = ModuleDouble::State::Nomi;
             s.splitSize = 4;
         },
         endless(ModuleDouble::Endless::SameSegment)},
        {"same-confirm", nomi, endless(ModuleDouble::Endless::SameConfirm)},
        {"endless-silent", nomi, endless(ModuleDouble::Endless::Silent)},
        {"never-off",
         [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config&) {
             s.start = ModuleDouble::State::Nomi;
             s.neverSwitchOff = true;
         },
         none},
        {"test-mode",
         [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config& c) {
             s.start = ModuleDouble::State::Nomi;
             c.startOperationMode = 2;
         },
         none},
        {"normal-mode-at-error",
         [](ModuleDouble::Settings& s, ebd::sim::Firmware::Config& c) {
             s.start = ModuleDouble::State::Nomi;
             c.defaultAtAnswer = "";
         },
         none},
    };
}

// Argument areas, larger than any operation needs.
struct Areas {
    std::array<uint8_t, 1500> bytes{};
    std::array<uint16_t, 64> words{};
    std::array<uint16_t, 64> words2{};
    std::array<int16_t, 64> signedWords{};
    std::array<int16_t, 64> signedWords2{};
    std::array<char, 1024> text{};
    uint8_t byte = 0;
    uint16_t word = 0;
    int16_t signedWord = 0;
    uint32_t dword = 0;
};

struct Operation {
    const char* name;
    std::function<void(EBDHandle, Areas&)> call;
    // Run before the clock is read: what the operation finds in place.
    std::function<void(EBDHandle, Areas&)> prepare = [](EBDHandle, Areas&) {};
};

std::vector<Operation> Operations() {
    using A = Areas;
    return {
        {"WComClose", [](EBDHandle h, A&) { WComClose(h); }},
        {"WGetLastError", [](EBDHandle h, A&) { WGetLastError(h); }},
        {"WInitServiceMode", [](EBDHandle h, A&) { WInitServiceMode(h); }},
        {"WInitNormalMode", [](EBDHandle h, A&) { WInitNormalMode(h); }},
        {"WInitTestMode", [](EBDHandle h, A&) { WInitTestMode(h); }},
        {"WInitAirplaneMode", [](EBDHandle h, A&) { WInitAirplaneMode(h); }},
        {"WExitServiceMode", [](EBDHandle h, A&) { WExitServiceMode(h); }},
        {"WGetBootloaderInfo", [](EBDHandle h, A& a) { WGetBootloaderInfo(h, a.text.data()); }},
        {"WSwitchJavaAutoStart", [](EBDHandle h, A&) { WSwitchJavaAutoStart(h, 0); }},
        {"WSwitchOff", [](EBDHandle h, A&) { WSwitchOff(h); }},
        {"WSendAtCommand", [](EBDHandle h, A& a) { WSendAtCommand(h, "AT", a.text.data()); }},
        {"WSendAtCommand(NULL)", [](EBDHandle h, A&) { WSendAtCommand(h, "AT", nullptr); }},
        {"WReceiveAtCommand", [](EBDHandle h, A& a) { WReceiveAtCommand(h, a.text.data()); }},
        {"WSendAtCommandAndWait(255)", [](EBDHandle h, A&) { WSendAtCommandAndWait(h, "AT", "NEVER", 255); }},
        {"WStartCircuitSwitchedCall", [](EBDHandle h, A&) { WStartCircuitSwitchedCall(h, "123"); }},
        {"WStartGPRSAttach", [](EBDHandle h, A&) { WStartGPRSAttach(h); }},
        {"WprepareNetworkRegistration", [](EBDHandle h, A&) { WprepareNetworkRegistration(h, 1, 2); }},
        {"WSetAFC", [](EBDHandle h, A&) { WSetAFC(h, 1); }},
        {"WSetAFCAndMeasure", [](EBDHandle h, A& a) { WSetAFCAndMeasure(h, 1, 2, &a.signedWord); }},
        {"WSetGainProgramWord", [](EBDHandle h, A&) { WSetGainProgramWord(h, 1, 0, 0); }},
        {"WGetGainProgramWord", [](EBDHandle h, A& a) { WGetGainProgramWord(h, 0, 0, &a.word); }},
        {"WSetAccurateValue", [](EBDHandle h, A&) { WSetAccurateValue(h, 1, 0, 0); }},
        {"WGetPowerValue", [](EBDHandle h, A& a) { WGetPowerValue(h, 1, 2, 1, &a.signedWord); }},
        {"WGetUsedIQOffsetValues", [](EBDHandle h, A& a) { WGetUsedIQOffsetValues(h, 1, a.words.data()); }},
        {"WSetTxOffset", [](EBDHandle h, A&) { WSetTxOffset(h, 1, 2); }},
        {"WSetCurrentDualBandMode", [](EBDHandle h, A&) { WSetCurrentDualBandMode(h, 1); }},
        {"WRadioPowerOn", [](EBDHandle h, A&) { WRadioPowerOn(h); }},
        {"WRadioPowerDown", [](EBDHandle h, A&) { WRadioPowerDown(h); }},
        {"WRadioReceiverOn", [](EBDHandle h, A&) { WRadioReceiverOn(h, 1); }},
        {"WRadioReceiverOff", [](EBDHandle h, A&) { WRadioReceiverOff(h, 1); }},
        {"WRadioSendTelegram", [](EBDHandle h, A&) { WRadioSendTelegram(h, 1); }},
        {"WRadioSetInitTelegram", [](EBDHandle h, A&) { WRadioSetInitTelegram(h, 1, 0); }},
        {"WStartLoopback", [](EBDHandle h, A&) { WStartLoopback(h, 1, 2, 0, 0, 5); }},
        {"WChangeLoopback", [](EBDHandle h, A&) { WChangeLoopback(h, 2, 0, 0, 5); }},
        {"WStopLoopback", [](EBDHandle h, A&) { WStopLoopback(h); }},
        {"WGetLoopbackData",
         [](EBDHandle h, A& a) {
             WGetLoopbackData(h, &a.signedWords[0], &a.signedWords[1], &a.words[0], &a.words[1],
                              &a.signedWords[2]);
         }},
        {"WSetAMLoopOffset", [](EBDHandle h, A&) { WSetAMLoopOffset(h, 1, 1, 1, 1, 1); }},
        {"WBBCRegister",
         [](EBDHandle h, A& a) {
             WBBCRegister(h, 0xA5A, a.words.data(), a.words2.data(), a.words.data() + 8);
         }},
        {"WGetFlashSerialNumber",
         [](EBDHandle h, A& a) { WGetFlashSerialNumber(h, &a.dword, a.bytes.data()); }},
        {"WGetSingleIE", [](EBDHandle h, A& a) { WGetSingleIE(h, &a.word); }},
        {"WResetIMEIMode", [](EBDHandle h, A& a) { WResetIMEIMode(h, &a.byte); }},
        {"WSetCustomerIMEIMode", [](EBDHandle h, A& a) { WSetCustomerIMEIMode(h, &a.byte); }},
        {"WReadSerialNumber", [](EBDHandle h, A& a) { WReadSerialNumber(h, a.bytes.data()); }},
        {"WReadIMEI", [](EBDHandle h, A& a) { WReadIMEI(h, a.bytes.data()); }},
        {"WInitIMEI", [](EBDHandle h, A&) { WInitIMEI(h); }},
        {"WFreezeIMEI", [](EBDHandle h, A& a) { WFreezeIMEI(h, a.bytes.data()); }},
        {"WSetSecurityMode", [](EBDHandle h, A& a) { WSetSecurityMode(h, &a.word, 0); }},
        {"WRequestChallenge", [](EBDHandle h, A& a) { WRequestChallenge(h, a.bytes.data()); }},
        {"WSendResponse", [](EBDHandle h, A& a) { WSendResponse(h, a.bytes.data()); }},
        {"WGetMobileInformation", [](EBDHandle h, A& a) { WGetMobileInformation(h, a.bytes.data()); }},
        {"WInitGainCodeTemplates", [](EBDHandle h, A&) { WInitGainCodeTemplates(h, 0, 0); }},
        {"WGetNextGainCode", [](EBDHandle h, A& a) { WGetNextGainCode(h, &a.word); }},
        {"WSetPrechargeValue", [](EBDHandle h, A&) { WSetPrechargeValue(h, 1); }},
        {"WGetGwIndexArray", [](EBDHandle h, A& a) { WGetGwIndexArray(h, 0, a.words.data()); }},
        {"WSendGwRssiMPoints",
         [](EBDHandle h, A& a) {
             WSendGwRssiMPoints(h, a.words.data(), a.signedWords.data(), a.words2.data(),
                                a.signedWords2.data());
         }},
        {"WGetExitData", [](EBDHandle h, A& a) { WGetExitData(h, 48, &a.byte, a.bytes.data()); }},
        {"WReadNVRAMUserItem",
         [](EBDHandle h, A& a) { WReadNVRAMUserItem(h, 1, 2, a.bytes.data(), 1400, &a.word); }},
        {"WWriteNVRAMUserItem",
         [](EBDHandle h, A& a) { WWriteNVRAMUserItem(h, 1, 2, a.bytes.data(), 1400); }},
        {"WDeleteNVRAMUserItem", [](EBDHandle h, A&) { WDeleteNVRAMUserItem(h, 1, 2); }},
        {"WEraseAllNVRAMUserItems", [](EBDHandle h, A&) { WEraseAllNVRAMUserItems(h); }},
        {"WReadNVRAMCalibrationItem",
         [](EBDHandle h, A& a) { WReadNVRAMCalibrationItem(h, 1, a.bytes.data(), 1400, &a.word); }},
        {"WCheckNVRAMCalibrationItem", [](EBDHandle h, A& a) { WCheckNVRAMCalibrationItem(h, 1, &a.byte); }},
        {"WWriteNVRAMCalibrationItem",
         [](EBDHandle h, A& a) { WWriteNVRAMCalibrationItem(h, 1, a.bytes.data(), 1400); }},
        {"WEraseAllNVRAMCalibrationItems", [](EBDHandle h, A&) { WEraseAllNVRAMCalibrationItems(h); }},
        {"WSaveAllOtherNVRAMCalibrationItems",
         [](EBDHandle h, A&) { WSaveAllOtherNVRAMCalibrationItems(h, 19); }},
        {"WRestoreAllOtherNVRAMCalibrationItems",
         [](EBDHandle h, A&) { WRestoreAllOtherNVRAMCalibrationItems(h, 19); }},
        {"WCheckNVRAMYKCalibrationItem",
         [](EBDHandle h, A& a) { WCheckNVRAMYKCalibrationItem(h, 300, &a.byte); }},
        {"WReadNVRAMYKCalibrationItem",
         [](EBDHandle h, A& a) { WReadNVRAMYKCalibrationItem(h, 300, a.bytes.data(), 1400, &a.word); }},
        {"WWriteNVRAMYKCalibrationItem",
         [](EBDHandle h, A& a) { WWriteNVRAMYKCalibrationItem(h, 300, a.bytes.data(), 1400); }},
        {"WOrreryStoreCalibrationDataAFC", [](EBDHandle h, A&) { WOrreryStoreCalibrationDataAFC(h, 1, 2); }},
        {"WWriteAllStoredValuesToModuleNVRAM(0)",
         [](EBDHandle h, A&) { WWriteAllStoredValuesToModuleNVRAM(h, 0); },
         [](EBDHandle h, A& a) {
             // Items in the module that must be rescued, and every item the
             // store can mark, so that the write goes the longest way.
             for (uint8_t id = 0; id < 19; ++id) WWriteNVRAMCalibrationItem(h, id, a.bytes.data(), 256);
             WOrreryStoreCalibrationDataAFC(h, 1, 2);
             WOrreryStoreCalibrationDataTxIQOffsets(h, 0, 1, 1, 1);
             WOrreryStoreCalibrationDataScalingFactors(h, 0, 0, a.words.data());
             WOrreryStoreCalibrationDataScalingFactors(h, 0, 1, a.words.data());
             WOrreryStoreCalibrationDataAMLoopOffsets(h, 0, 1);
             WOrreryStoreCalibrationDataAGCGainWords(h, 0, a.words.data());
             WOrreryStoreCalibrationDataAGCAccurateValues(h, 0, a.words.data());
             WOrreryStoreCalibrationDataTxDacOffsets(h, 0, 0, 1);
             WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(h, 1, 2);
         }},
        {"WWriteAllStoredValuesToModuleNVRAM(1)",
         [](EBDHandle h, A& a) {
             WOrreryStoreCalibrationDataAFC(h, 1, 2);
             WOrreryStoreCalibrationDataAGCGainWords(h, 0, a.words.data());
             WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(h, 1, 2);
             WWriteAllStoredValuesToModuleNVRAM(h, 1);
         }},
        {"WSetVaneBandMode", [](EBDHandle h, A&) { WSetVaneBandMode(h, 1); }},
        {"WSetBurstData", [](EBDHandle h, A& a) { WSetBurstData(h, a.words.data(), 1); }},
        {"WSetEbdBurstDataMode", [](EBDHandle h, A&) { WSetEbdBurstDataMode(h, 3, 0, 1); }},
        {"WSetPowerRamp", [](EBDHandle h, A& a) { WSetPowerRamp(h, a.words.data()); }},
        {"WSetRampScaleFactor", [](EBDHandle h, A&) { WSetRampScaleFactor(h, 1); }},
        {"WSetCircuitSwitchedTDMAFrame",
         [](EBDHandle h, A& a) {
             WSetCircuitSwitchedTDMAFrame(h, 0, a.bytes.data(), a.words.data(), a.words2.data(), 0, 0, 0, 5,
                                          3);
         }},
        {"WConfigureGPRSLogicalRxSlot", [](EBDHandle h, A&) { WConfigureGPRSLogicalRxSlot(h, 0, 1, 0); }},
        {"WConfigureGPRSLogicalTxSlot", [](EBDHandle h, A&) { WConfigureGPRSLogicalTxSlot(h, 0, 5, 1, 0); }},
        {"WConfigureGPRSLogicalMonSlot", [](EBDHandle h, A&) { WConfigureGPRSLogicalMonSlot(h, 0, 1); }},
        {"WConfigureGPRSLogicalUnusedSlot", [](EBDHandle h, A&) { WConfigureGPRSLogicalUnusedSlot(h, 0); }},
        {"WConfigureGPRSMultiFrame",
         [](EBDHandle h, A& a) { WConfigureGPRSMultiFrame(h, 0, a.bytes.data(), 1, 2, 3, 0, 0, 0, 0); }},
        {"WChangeGPRSTiming", [](EBDHandle h, A&) { WChangeGPRSTiming(h, 0, 0, 0, 0, 0); }},
        {"WSetGPRSUsage", [](EBDHandle h, A&) { WSetGPRSUsage(h, 1); }},
    };
}

int32_t Discard(uint32_t, const char*) {
    return 0;
}

// Virtual milliseconds one operation takes on a fresh session against `behaviour`.
double Measure(const Behaviour& behaviour, const Operation& operation, double* openMs) {
    ebd::platform::SimPlatform sim;
    ebd::platform::install(&sim);
    WSetTraceCallback(&Discard);
    WInitLibrary();
    ModuleDouble::Settings settings;
    ebd::sim::Firmware::Config config;
    behaviour.configure(settings, config);
    ModuleDouble module(settings, config);
    sim.attach("COM1", &module);
    const uint64_t beforeOpen = sim.nowNs();
    const EBDHandle handle = WComOpen(1, 115200, 1);
    *openMs = static_cast<double>(sim.nowNs() - beforeOpen) / 1e6;
    double ms = -1;
    if (handle != 0) {
        Areas areas;
        // What the operation finds is prepared before the faults are armed.
        operation.prepare(handle, areas);
        behaviour.arm(module);
        const uint64_t before = sim.nowNs();
        operation.call(handle, areas);
        ms = static_cast<double>(sim.nowNs() - before) / 1e6;
        WComClose(handle);
    }
    sim.attach("COM1", nullptr);
    WSetTraceCallback(nullptr);
    ebd::platform::install(nullptr);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    const char* prefix = argc > 1 ? argv[1] : "";
    const auto behaviours = Behaviours();
    std::printf("Virtual time per operation on a fresh session, in ms (worst rounded up to s)\n");
    std::printf("%-40s %10s %8s  %s\n", "operation", "worst ms", "bound s", "worst module");
    double worstOpen = 0;
    for (const auto& operation : Operations()) {
        if (std::strncmp(operation.name, prefix, std::strlen(prefix)) != 0) continue;
        double worst = 0;
        const char* worstName = "-";
        std::string all;
        for (const auto& behaviour : behaviours) {
            double openMs = 0;
            const double ms = Measure(behaviour, operation, &openMs);
            worstOpen = std::max(worstOpen, openMs);
            if (ms > worst) worst = ms, worstName = behaviour.name;
            char cell[64];
            std::snprintf(cell, sizeof cell, " %s=%.0f", behaviour.name, ms);
            all += cell;
        }
        const long bound = static_cast<long>((worst + 999.0) / 1000.0);
        std::printf("%-40s %10.0f %8ld  %s\n", operation.name, worst, bound, worstName);
        if (std::getenv("BLOCKING_BOUNDS_ALL") != nullptr) std::printf("    %s\n", all.c_str());
    }
    std::printf("%-40s %10.0f %8ld  (port open, every module)\n", "WComOpen", worstOpen,
                static_cast<long>((worstOpen + 999.0) / 1000.0));
    return 0;
}
