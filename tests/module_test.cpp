// Talking to the module double under virtual time: detection, boot, the switch
// to NOMI, operation modes, the version gate, remote calls, autostart,
// switch-off and AT commands.
#include <cstring>

#include "link/gwcoml1.h"
#include "module_fixture.h"
#include "rpc/ebdmsg.h"
#include "rpc/ebdnomi.h"
#include "rpc/ebdrpc.h"
#include "rpc/nomierr.h"
#include "script_peer.h"
#include "sim/module_double.h"

namespace ebd::test {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::ModuleDouble;

class Module : public ModuleFixture {
protected:
    // Each test starts its own module, in the state it needs.
    bool startInSetUp() const override { return false; }
    // Puts a fresh module double on COM1, made from `settings` and
    // `firmwareConfig`, and opens a session on it.
    void start(ModuleDouble::State state, uint8_t mode = 0) {
        if (handle != 0) WComClose(handle);
        settings.start = state;
        firmwareConfig.startOperationMode = mode;
        startModule(settings, firmwareConfig);
        ASSERT_NE(handle, 0u);
        module().clearRecords();
    }
    Bytes hostBytes() const {
        Bytes all;
        for (const auto& b : module().received()) all.push_back(b.value);
        return all;
    }
    static bool contains(const Bytes& haystack, const Bytes& needle) {
        return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
    }
    ModuleDouble::Settings settings;
    sim::Firmware::Config firmwareConfig;
};

// ---- Detection -----------------------------------------------------------

TEST_F(Module, AnAtModuleIsDetectedByItsEchoAndTheRestIsSkipped) {
    start(ModuleDouble::State::At);
    EXPECT_EQ(GetTargetSerialMode(handle), SerialModeAt);
    EXPECT_TRUE(has("(EBD ) GetTargetSerialMode: AT echo received, target serial in AT mode"));
    // "at" CR went out one byte at a time, 10 ms apart.
    ASSERT_GE(module().received().size(), 3u);
    EXPECT_EQ(hostBytes(), (Bytes{0x61, 0x74, 0x0D}));
    EXPECT_GE(module().received()[1].atNs - module().received()[0].atNs, 10 * kMs);
    // CR LF "OK" CR LF behind the echo went to the skip buffer.
    EXPECT_EQ(PortOf(handle).skipLength, 6);
}

TEST_F(Module, ANomiModuleAnswersTheAtTestStringWithNak) {
    start(ModuleDouble::State::Nomi);
    EXPECT_EQ(GetTargetSerialMode(handle), SerialModeNomi);
    EXPECT_TRUE(has("(EBD ) GetTargetSerialMode: Echo Response on AT not >AT<"));
    EXPECT_TRUE(has("(EBD ) GetTargetSerialMode: NAK received, target serial in NOMI mode"));
    EXPECT_FALSE(contains(hostBytes(), {0x02, 0x01, 0xD6, 0x0D})) << "the NOMI test string is not needed";
}

TEST_F(Module, ASilentPortGivesNoneAfterBothTestStrings) {
    start(ModuleDouble::State::Off);
    EXPECT_EQ(GetTargetSerialMode(handle), SerialModeNone);
    EXPECT_TRUE(inOrder({"(EBD ) GetTargetSerialMode: no response for AT  test string",
                         "(EBD ) GetTargetSerialMode: no response for NOMI test string"}));
    EXPECT_EQ(hostBytes(), (Bytes{0x61, 0x74, 0x0D, 0x02, 0x01, 0xD6, 0x0D}));
}

TEST_F(Module, SpecialAndUnknownAnswersAreClassified) {
    start(ModuleDouble::State::Off);
    module().settings().noCommunicationAnswer = true;
    EXPECT_EQ(GetTargetSerialMode(handle), SerialModeNone);
    EXPECT_TRUE(has("(EBD ) GetTargetSerialMode: special 'no communication at all' response for NOMI test string"));

    start(ModuleDouble::State::At);
    module().settings().at.echo = sim::AtInterpreter::Echo::UpperCase;
    lines.clear();
    EXPECT_EQ(GetTargetSerialMode(handle), SerialModeError);
    EXPECT_TRUE(inOrder({"(EBD ) GetTargetSerialMode: Echo Response on AT not >AT<",
                         "(EBD ) GetTargetSerialMode: got unknown protocol response ->"}));
    EXPECT_EQ(count("(EBD )   00:    0x41 0x54 0x0d 0x0d 0x0a 0x4f 0x4b 0x0d "), 1) << dump();
}

TEST_F(Module, WaitingForAModeNeverReachedTakesTwentyDetectionsAHundredMillisecondsApart) {
    start(ModuleDouble::State::At);
    const uint64_t sleptBefore = sim.sleptMs();
    EXPECT_FALSE(WaitForTargetSerialMode(handle, SerialModeNomi));
    EXPECT_EQ(count("(EBD ) GetTargetSerialMode: AT echo received, target serial in AT mode"), 20);
    // Each detection sleeps 3 x 10 ms and 200 ms after the echo; each wait 100 ms.
    EXPECT_EQ(sim.sleptMs() - sleptBefore, 20u * (30 + 200 + 100));
    EXPECT_EQ(lines.back(), "(EBD ) WaitForTargetSerialMode failed, is 2, should 4");
}

// ---- Boot and switch to NOMI -----------------------------------------------

TEST_F(Module, ServiceModeFromAtModeSwitchesToNomiAndSetsModeOne) {
    start(ModuleDouble::State::At, 0);
    EXPECT_EQ(WInitServiceMode(handle), 1) << dump();
    const Bytes bytes = hostBytes();
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 3), (Bytes{0x61, 0x74, 0x0D}));
    EXPECT_TRUE(contains(bytes, {0x61, 0x74, 0x5E, 0x78, 0x71, 0x77, 0x65, 0x3D, 0x31, 0x0D}));
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{1, 99, 101}));
    EXPECT_EQ(module().requests()[2].data.at(2), 1);
    for (const auto& frame : module().hostFrames()) EXPECT_EQ(frame.verdict, ModuleDouble::FrameVerdict::Acked);
    EXPECT_EQ(module().firmware().operationMode(), 1);
    EXPECT_TRUE(inOrder({
        "(EBD ) WInitServiceMode()",
        "(EBD ) WInitServiceMode: switch serial to NOMI mode...",
        "(EBD ) SwitchSerialToNOMIMode: get target serial mode...",
        "(EBD ) GetTargetSerialMode: AT echo received, target serial in AT mode",
        "(EBD ) SwitchSerialToNOMIMode: target serial in AT mode, sending at^xqwe=1",
        "(EBD ) SwitchSerialToNOMIMode: check for echo...",
        "(EBD ) SwitchSerialToNOMIMode: check for answer...",
        "(EBD ) SwitchSerialToNOMIMode: target serial entering NOMI mode...",
        "(EBD ) SwitchSerialToNOMIMode: target serial successfully switched to NOMI mode",
        "(EBD ) SwitchSerialToNOMIMode: O.K.",
        "(EBD ) WInitServiceMode: switch target to service mode...",
        "(EBD ) SwitchTargetToOperationMode(operationMode=1)",
        "(EBD ) SwitchTargetToOperationMode: call EBDRPCGetCurrentOperationMode()...",
        "(EBD ) Get target version information at first...",
        "(EBD ) SwitchTargetToOperationMode: current mode 0, call EBDRPCSetCurrentOperationMode(1)...",
        "(EBD ) SwitchTargetToOperationMode: target successfully set to mode 1",
        "(EBD ) WInitServiceMode: O.K.",
    })) << dump();
}

TEST_F(Module, ServiceModeOnAModuleAlreadyThereMakesOneQuery) {
    start(ModuleDouble::State::Nomi, 1);
    EXPECT_EQ(WInitServiceMode(handle), 1) << dump();
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{1, 99}));
    EXPECT_FALSE(contains(hostBytes(), {0x61, 0x74, 0x5E}));
    EXPECT_TRUE(has("(EBD ) SwitchSerialToNOMIMode: target serial in NOMI mode, O.K."));
    EXPECT_TRUE(has("(EBD ) SwitchTargetToOperationMode: target already in mode 1"));
}

TEST_F(Module, APortWithoutModemLinesCannotRaiseTheIgnition) {
    start(ModuleDouble::State::Off);
    sim.failDtr("COM1", true);
    PortOf(handle).lastError = 77;
    const uint64_t begin = now();
    EXPECT_EQ(WInitServiceMode(handle), 0);
    EXPECT_EQ(WGetLastError(handle), 77) << "no code of its own, as the header says";
    EXPECT_TRUE(inOrder({"(EBD ) SwitchSerialToNOMIMode: mobile seems to be off, switch on in service mode...",
                         "(EBD ) ModuleBootServiceMode: Set Ignition low / DTR logical high",
                         "(EBD ) ModuleBootServiceMode: cannot set ignition low",
                         "(EBD ) SwitchSerialToNOMIMode fails: could not start module",
                         "(EBD ) WInitServiceMode: SwitchSerialToNomiMode fails"}))
        << dump();
    EXPECT_LT(now() - begin, 1000 * kMs);
}

TEST_F(Module, TheServiceBootTalksToTheBootloaderAtLowSpeed) {
    start(ModuleDouble::State::Off);
    EXPECT_TRUE(ModuleBootServiceMode(handle)) << dump();
    const Bytes bytes = hostBytes();
    EXPECT_EQ(bytes.at(0), 0x78);
    EXPECT_TRUE(contains(bytes, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0xFE, 0x07, 0xFB, 0x06}));
    EXPECT_TRUE(contains(bytes, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x03, 0xFE, 0x01, 0x02, 0xFE}));
    EXPECT_TRUE(inOrder({
        "(EBD ) ModuleBootServiceMode: Set Ignition low / DTR logical high",
        "(EBD ) ModuleBootServiceMode: send/rec pattern...",
        "(EBD ) ModuleBootServiceMode: get bootloader version...",
        "(EBD ) ModuleBootServiceMode: Bootloader version V1.2",
        "(EBD ) ModuleBootServiceMode: send boot command...",
        "(EBD ) ModuleBootServiceMode: receive boot confirmation...",
        "(EBD ) ModuleBootServiceMode: wait, don't disturb - the firmware re-programs the MXDP!...",
        "(EBD ) ModuleBootServiceMode: wait for mobile to switch on...",
        "(EBD ) ModuleBootServiceMode: Set Ignition high / DTR logical low",
        "(EBD ) ModuleBootServiceMode: O.K.",
    })) << dump();
    // The line ends at 115200 baud with DTR down again.
    const auto line = sim.lineOf("COM1");
    EXPECT_EQ(line.baudRate, 115200u);
    EXPECT_FALSE(line.dtr);
    EXPECT_EQ(module().powerOns(), 1);
    // The pattern went out at 57600 baud, one stop bit, RTS off.
    bool sawBootLine = false;
    for (const auto& e : module().lineEvents())
        if (e.line.baudRate == 57600 && e.line.stopBits == 1 && !e.line.rts) sawBootLine = true;
    EXPECT_TRUE(sawBootLine);
}

TEST_F(Module, TheServiceBootPausesEightHundredMillisecondsBeforeWaiting) {
    start(ModuleDouble::State::Off);
    const uint64_t sleptBefore = sim.sleptMs();
    ASSERT_TRUE(ModuleBootServiceMode(handle));
    // 10 ms after the pattern, 800 ms for the firmware, then detections: the
    // first that answers sleeps 3 x 10 ms and 200 ms after the echo.
    const uint64_t slept = sim.sleptMs() - sleptBefore;
    EXPECT_GE(slept, 810u + 230u);
    EXPECT_EQ((slept - 810 - 230) % (30 + 100), 0u) << slept;
}

TEST_F(Module, ABootloaderWithAWrongAcknowledgeIsTakenAsOldAndBooted) {
    start(ModuleDouble::State::Off);
    module().settings().bootloader.fault = sim::Bootloader::Fault::WrongAck;
    EXPECT_TRUE(ModuleBootServiceMode(handle)) << dump();
    EXPECT_EQ(count("(EBD ) ModuleBootServiceMode: no/unexpected response err 0, response 0x15"), 5) << dump();
    EXPECT_TRUE(has("(EBD ) ModuleBootServiceMode: Bootloader version V0.4 or below"));
}

TEST_F(Module, ABootloaderThatDoesNotAnswerTheVersionFailsTheBoot) {
    start(ModuleDouble::State::Off);
    module().settings().bootloader.fault = sim::Bootloader::Fault::Silent;
    EXPECT_FALSE(ModuleBootServiceMode(handle));
    EXPECT_TRUE(has("(EBD ) ModuleBootServiceMode: could not get bootloader version (8)")) << dump();
    // Nothing is undone: DTR stays raised, the line stays at 57600.
    EXPECT_TRUE(sim.lineOf("COM1").dtr);
    EXPECT_EQ(sim.lineOf("COM1").baudRate, 57600u);
}

TEST_F(Module, ANormalBootRaisesDtrAndWaits) {
    start(ModuleDouble::State::Off);
    EXPECT_EQ(WInitNormalMode(handle), 1) << dump();
    EXPECT_TRUE(inOrder({
        "(EBD ) WInitNormalMode: switch serial to NOMI mode...",
        "(EBD ) SwitchSerialToNOMIMode: mobile seems to be off, switch on in normal mode...",
        "(EBD ) ModuleBootNormalMode: Set Ignition low / DTR logical high",
        "(EBD ) ModuleBootNormalMode: wait for mobile to switch on...",
        "(EBD ) ModuleBootNormalMode: O.K.",
        "(EBD ) SwitchSerialToNOMIMode: target serial in AT mode, sending at^xqwe=1",
        "(EBD ) WInitNormalMode: switch target to normal mode...",
        "(EBD ) SwitchTargetToOperationMode: target already in mode 0",
        "(EBD ) WInitNormalMode: FAST_DLL: skip 2 secs wait 'let the system come up...'",
        "(EBD ) WInitNormalMode: O.K.",
    })) << dump();
    EXPECT_FALSE(has("(EBD ) WInitNormalMode()"));
    EXPECT_FALSE(sim.lineOf("COM1").dtr);
}

TEST_F(Module, AWrongEchoToTheModeSwitchCostsHalfASecondPerAttemptAndTenGiveUp) {
    // A port that echoes the AT test string but garbles the mode switch command.
    ScriptPeer script;
    std::string typed;
    script.onBytes = [&](const Bytes& bytes, uint64_t at) {
        typed.append(bytes.begin(), bytes.end());
        if (typed == "at\r") script.send({'a', 't', '\r', '\r', '\n', 'O', 'K', '\r', '\n'}, at + kMs);
        if (bytes.size() == 10) script.send({'a', 't', '~'}, at + kMs);
        if (typed.size() >= 3 && bytes.size() != 10) typed.clear();
    };
    sim.attach("COM1", &script);
    handle = open();
    ASSERT_NE(handle, 0u);
    const uint64_t slept = sim.sleptMs();
    EXPECT_FALSE(SwitchSerialToNOMIMode(handle, 1));
    EXPECT_EQ(count("(EBD ) SwitchSerialToNOMIMode: target serial in AT mode, sending at^xqwe=1"), 10);
    EXPECT_EQ(count("(EBD ) CheckResponse: expected response ->"), 10);
    EXPECT_EQ(lines.back(), "(EBD ) SwitchSerialToNOMIMode fails: at^xqwe=1 not correctly answered");
    // One detection (30 + 200 ms), then ten attempts of 100 ms and 500 ms each.
    EXPECT_EQ(sim.sleptMs() - slept, 230u + 10 * 600);
    WComClose(handle);  // before the script goes
    handle = 0;
}

TEST_F(Module, TenUnansweredModeSwitchesGiveUp) {
    start(ModuleDouble::State::At);
    module().settings().at.honourSwitch = false;
    // The module echoes and answers OK but stays in AT mode: NOMI is never reached.
    EXPECT_FALSE(SwitchSerialToNOMIMode(handle, 1));
    EXPECT_EQ(lines.back(), "(EBD ) SwitchSerialToNOMIMode fails: NOMI mode not reached!?") << dump();
}

TEST_F(Module, OtherModeEntriesTraceTheirOwnNames) {
    start(ModuleDouble::State::Nomi, 0);
    EXPECT_EQ(WInitTestMode(handle), 1);
    EXPECT_TRUE(inOrder({"(EBD ) WInitTestMode()", "(EBD ) WInitTestMode: switch serial to NOMI mode...",
                         "(EBD ) WInitTestMode: FAST_DLL: skip 4 secs wait 'wait 4 secs before switching target to "
                         "test mode...'",
                         "(EBD ) WInitTestMode: switch target to test mode...", "(EBD ) WInitTestMode: O.K."}));
    EXPECT_EQ(module().firmware().operationMode(), 2);
    lines.clear();
    EXPECT_EQ(WInitAirplaneMode(handle), 1);
    EXPECT_TRUE(inOrder({"(EBD ) WInitAirplaneMode()", "(EBD ) WInitAirplaneMode: switch target to airplane mode...",
                         "(EBD ) SwitchTargetToOperationMode: current mode 2, call EBDRPCSetCurrentOperationMode(4)...",
                         "(EBD ) WInitAirplaneMode: O.K."}));
    lines.clear();
    EXPECT_EQ(WExitServiceMode(handle), 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"(EBD ) WExitServiceMode()", "(EBD ) : WExitServiceMode O.K."}));
    EXPECT_EQ(WExitServiceMode(0), 0);
    EXPECT_EQ(WInitServiceMode(0), 0);
}

TEST_F(Module, ARefusedModeIsTheLastError) {
    start(ModuleDouble::State::Nomi, 0);
    module().firmware().refuse(msg::kSetCurrentOperationMode, 3);
    EXPECT_EQ(WInitServiceMode(handle), 0);
    EXPECT_EQ(WGetLastError(handle), 4);
    EXPECT_TRUE(inOrder({"(EBD ) SwitchTargetToOperationMode: EBDRPCSetCurrentOperationMode fails with error 4",
                         "(EBD ) WInitServiceMode: SwitchTargetToOperationMode fails"}));
}

// ---- Version gate and remote calls --------------------------------------------

TEST_F(Module, TheFirstRemoteCallAsksForTheVersionOnce) {
    start(ModuleDouble::State::Nomi, 1);
    uint8_t mode = 0xEE;
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{1, 99, 99}));
    EXPECT_TRUE(inOrder({
        "(EBD ) Get target version information at first...",
        "(EBD ) Host  : EBD 0001.3000",
        "(EBD ) Host  : RPC 0001.0000",
        "(EBD ) Target: RPC 0001.0000",
        "(EBD ) Target: HW  00020001",
        "(EBDV) Target: MOD_137:REL-1.0",
        "(EBDV) Target: Bln-Bootloader V1.2",
        "(EBDV) Target: Extra",
        "(EBD ) GetTargetVersion: SW version number evaluated to 137",
    })) << dump();
    char text[25];
    EXPECT_EQ(WGetBootloaderInfo(handle, text), 1);
    EXPECT_STREQ(text, "Bln-Bootloader V1.2");
}

TEST_F(Module, VersionTextsWithoutNumberOrWithALongBootloaderItem) {
    firmwareConfig.versionText = "single item without separators";
    start(ModuleDouble::State::Nomi, 1);
    char text[25];
    EXPECT_EQ(WGetBootloaderInfo(handle, text), 0);
    EXPECT_EQ(std::string(text, 25), std::string(25, '\0'));
    uint8_t mode = 0;
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    EXPECT_EQ(PortOf(handle).mobileSwVersion, 0);
    EXPECT_EQ(count("(EBDV) Target: single item without separators"), 1);
    EXPECT_TRUE(has("(EBD) Bootloader info not found"));
    EXPECT_FALSE(has("(EBD ) GetTargetVersion: SW version number evaluated to 0"));

    firmwareConfig.versionText = "X_135:a&Bln-Bootloader V1.2 with a very long tail";
    start(ModuleDouble::State::Nomi, 1);
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    EXPECT_EQ(PortOf(handle).mobileSwVersion, 135);
    EXPECT_EQ(WGetBootloaderInfo(handle, text), 1);
    EXPECT_STREQ(text, "Bln-Bootloader V1.2 with");

    // The next module on the port has no bootloader item: its session shows
    // none, never the text of the module before it.
    firmwareConfig.versionText = "Y_136:b&Extra";
    start(ModuleDouble::State::Nomi, 1);
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    EXPECT_EQ(WGetBootloaderInfo(handle, text), 1);
    EXPECT_EQ(std::string(text, 25), std::string(25, '\0'));
}

TEST_F(Module, AFailedVersionQueryIsRepeatedByTheNextCall) {
    start(ModuleDouble::State::Nomi, 1);
    module().foreignReference(msg::kGetVersion, 1);
    uint8_t mode = 0;
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    EXPECT_TRUE(has("(EBD ) GetTargetVersion: EBDRPCGetVersion fails with error 4"));
    EXPECT_EQ(WGetLastError(handle), 4);
    lines.clear();
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    EXPECT_EQ(lines.front(), "(EBD ) Get target version information at first...");
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{1, 99, 1, 99}));
}

TEST_F(Module, RemoteCallErrorCodes) {
    start(ModuleDouble::State::Nomi, 1);
    uint8_t mode = 0;
    ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    // 5: the confirm reports failure.
    module().firmware().refuse(msg::kSwitchJavaAutoStart, 3);
    lines.clear();
    EXPECT_EQ(EBDRPCSwitchJavaAutoStart(handle, 0), kRpcStatusFailed);
    EXPECT_TRUE(has("(RPC ) EBDRPCSwitchJavaAutoStart: gives result 3, should be 0"));
    module().firmware().refuse(msg::kSwitchJavaAutoStart, 0);
    // 4: a foreign reference, nothing traced by the call.
    module().foreignReference(msg::kSwitchJavaAutoStart, 1);
    lines.clear();
    EXPECT_EQ(EBDRPCSwitchJavaAutoStart(handle, 0), kRpcBadReference);
    EXPECT_FALSE(has("(RPC ) EBDRPCSwitchJavaAutoStart: gives result 0, should be 0"));
    // Any reference will do for the mode change; its status is error 4.
    module().foreignReference(msg::kSetCurrentOperationMode, 1);
    EXPECT_EQ(EBDRPCSetCurrentOperationMode(handle, 2), kRpcOk);
    // 2: no confirm.
    module().withholdConfirm(msg::kGetCurrentOperationMode, 1);
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), kRpcNoConfirm);
    // 9: no memory for the version confirm.
    rpc::FailAllocations(1);
    uint32_t hw = 0, rpcVersion = 0;
    char text[64];
    EXPECT_EQ(EBDRPCGetVersion(handle, &hw, &rpcVersion, text, sizeof text), kRpcNoMemory);
    rpc::FailAllocations(0);
    // 1: the request cannot be sent.
    sim.failWrites("COM1", true);
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), kRpcNotSent);
    EXPECT_EQ(EBDRPCSwitchOff(handle), kRpcNotSent);
}

TEST_F(Module, AFiveTryCallSurvivesFourMissingConfirms) {
    start(ModuleDouble::State::Nomi, 1);
    uint8_t mode = 0;
    ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    module().withholdConfirm(msg::kSetCurrentOperationMode, 1);
    // The confirm is withheld: all five receives fail.
    EXPECT_EQ(EBDRPCSetCurrentOperationMode(handle, 2), kRpcNoConfirm);
    EXPECT_EQ(count("(NOMI) EBDReceiveFromTarget: expected cmd 0x66, dataLength 4"), 5);
}

TEST_F(Module, ARepeatedConfirmIsSkippedAsDoubled) {
    start(ModuleDouble::State::Nomi, 1);
    uint8_t mode = 0;
    ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    module().repeatConfirm(msg::kSwitchJavaAutoStart, 1);
    EXPECT_EQ(EBDRPCSwitchJavaAutoStart(handle, 0), 0);
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    EXPECT_TRUE(has("(GWL3) NomiL3RemoveFromRxQueue: skipped doubled msg")) << dump();
}

TEST_F(Module, ReceiveDropsOtherMessagesAndCutsLongOnes) {
    start(ModuleDouble::State::Nomi, 1);
    uint8_t mode = 0;
    ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    module().foreignReference(msg::kGetCurrentOperationMode, 0);
    // A confirm of another id ahead of the expected one is dropped.
    const uint16_t ref = 0x4242;
    EBDSetNextReference(ref);
    Bytes request{0x42, 0x42};
    ASSERT_TRUE(EBDSendToTarget(handle, msg::kGetCurrentOperationMode, request.data(), 2));
    ASSERT_TRUE(EBDSendToTarget(handle, msg::kSwitchJavaAutoStart, Bytes{0x43, 0x42, 0, 0}.data(), 4));
    lines.clear();
    std::array<uint8_t, 6> confirm;
    confirm.fill(0xEE);
    EXPECT_TRUE(EBDReceiveFromTarget(handle, msg::ConfirmOf(msg::kSwitchJavaAutoStart), confirm.data(), 6));
    EXPECT_TRUE(inOrder({"(NOMI) EBDReceiveFromTarget: expected cmd 0x6c, dataLength 6",
                         "(NOMI) ReceiveFromTarget: cmd 0x64, len 6",
                         "(NOMI) ReceiveFromTarget: expected cmd 0x6c - No match!",
                         "(NOMI) ReceiveFromTarget: cmd 0x6c, len 4",
                         "(NOMI) ReceiveFromTarget: expected cmd 0x6c - Match!"}))
        << dump();
    // A 4-byte confirm leaves the rest of the buffer as it was.
    EXPECT_EQ(confirm[4], 0xEE);
    EXPECT_EQ(confirm[5], 0xEE);
    // Nothing more comes: the receive gives up after one long wait.
    lines.clear();
    EXPECT_FALSE(EBDReceiveFromTarget(handle, 0x6c, confirm.data(), 2000));
    EXPECT_TRUE(has("(NOMI) EBDReceiveFromTarget: reduce expected dataLength 2000 to max length 1500"));
}

TEST(References, WrapAndLineEndsAreMarked) {
    EBDSetNextReference(65535);
    EXPECT_EQ(EBDNextReference(), 65535);
    EXPECT_EQ(EBDNextReference(), 0);
    char out[32];
    EBDMarkLineEnds("", out);
    EXPECT_STREQ(out, "");
    EBDMarkLineEnds("\r\r\n", out);
    EXPECT_STREQ(out, "<CR><CR><LF>");
    EBDMarkLineEnds("OK\r\n", out);
    EXPECT_STREQ(out, "OK<CR><LF>");
}

// ---- Autostart, switch-off, AT commands -------------------------------------

class Ready : public Module {
protected:
    void SetUp() override {
        Module::SetUp();
        start(ModuleDouble::State::Nomi, 1);
        uint8_t mode = 0;
        ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
        module().clearRecords();
        lines.clear();
    }
};

TEST_F(Ready, SwitchingTheAutostartOffSendsTheByteZero) {
    EXPECT_EQ(WSwitchJavaAutoStart(handle, 256), 1);
    ASSERT_EQ(requestIds(), std::vector<uint16_t>{107});
    EXPECT_EQ(module().requests()[0].data.size(), 4u);
    EXPECT_EQ(module().requests()[0].data[2], 0);
    EXPECT_FALSE(module().firmware().javaAutostart());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "(EBD ) WSwitchJavaAutoStart(onOff=0");
    EXPECT_EQ(lines[1], "(EBD ) WSwitchJavaAutoStart: call EBDRPCSwitchJavaAutoStart()...");
    EXPECT_EQ(lines.back(), "(EBD ) WSwitchJavaAutoStart: O.K.");

    module().firmware().refuse(msg::kSwitchJavaAutoStart, 2);
    EXPECT_EQ(WSwitchJavaAutoStart(handle, 0), 0);
    EXPECT_EQ(lines.back(), "(EBD ) WSwitchJavaAutoStart: EBDRPCSwitchJavaAutoStartfails with error 5");
    EXPECT_EQ(WGetLastError(handle), 5);
    EXPECT_EQ(WSwitchJavaAutoStart(0, 0), 0);
}

TEST_F(Ready, SwitchOffInServiceModeGoesStraightToTheRequest) {
    EXPECT_EQ(WSwitchOff(handle), 1) << dump();
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{99, 67}));
    EXPECT_TRUE(inOrder({"(EBD ) WSwitchOff", "(EBD ) WSwitchOff: check for normal mode (call may be active!)",
                         "(EBD ) WSwitchOff: call EBDRPCSwitchOff...",
                         "(EBD ) WSwitchOff: wait until target is switched off...",
                         "(EBD ) WSwitchOff: FAST_DLL: skip 5 secs wait 'wait 5 secs, just to be sure...'",
                         "(EBD ) WSwitchOff: O.K."}));
    EXPECT_EQ(module().state(), ModuleDouble::State::Off);
}

TEST_F(Ready, SwitchOffInNormalModeEndsACallFirstAndIgnoresItsFailures) {
    module().firmware().setOperationMode(0);
    module().firmware().refuse(msg::kSendAtCommand, 1);
    module().foreignReference(msg::kSendAtCommand, ModuleDouble::kAlways);
    EXPECT_EQ(WSwitchOff(handle), 1) << dump();
    EXPECT_EQ(module().firmware().atCommands(), (std::vector<std::string>{"ATH", "AT+CGATT=0"}));
    EXPECT_TRUE(inOrder({"(EBD ) WSwitchOff: target in normal mode, try to end active call...",
                         "(EBD ) WSendAtCommand [ATH] (length=3)",
                         "(EBD ) WSendAtCommand: EBDRPCSendAtCommand fails with error 4",
                         "(EBD ) WSendAtCommand [AT+CGATT=0] (length=10)",
                         "(EBD ) WSwitchOff: special normal mode action finished", "(EBD ) WSwitchOff: O.K."}));
}

TEST_F(Ready, SwitchOffInTestModeFinishesItOnlyFromVersion136) {
    module().firmware().setOperationMode(2);
    PortOf(handle).mobileSwVersion = 135;
    EXPECT_EQ(WSwitchOff(handle), 1);
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{99, 67}));

    start(ModuleDouble::State::Nomi, 2);
    uint8_t mode = 0;
    ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    PortOf(handle).mobileSwVersion = 136;
    module().clearRecords();
    EXPECT_EQ(WSwitchOff(handle), 1);
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{99, 9, 67}));
    EXPECT_TRUE(has("(EBD ) WSwitchOff: special test mode action finished"));
}

TEST_F(Ready, AModuleThatNeverFallsSilentGetsFiveRequests) {
    module().settings().neverSwitchOff = true;
    PortOf(handle).lastError = 77;
    EXPECT_EQ(WSwitchOff(handle), 0);
    EXPECT_EQ(count("(EBD ) WSwitchOff: call EBDRPCSwitchOff..."), 5);
    EXPECT_EQ(lines.back(), "(EBD ) WSwitchOff: target not switched off!?");
    EXPECT_EQ(WGetLastError(handle), 77) << "no code of its own, as the header says";
}

TEST_F(Ready, AtCommandsGoThroughTheRemoteChannel) {
    char answer[513] = {};
    EXPECT_EQ(WSendAtCommand(handle, "AT+CSQ", answer), 1);
    EXPECT_STREQ(answer, "OK<CR><LF>");
    EXPECT_TRUE(has("(EBD ) WSendAtCommand received: [OK<CR><LF>]"));
    const auto& request = module().requests().back();
    EXPECT_EQ(request.commandId, 93);
    EXPECT_EQ(request.data.size(), 130u);
    EXPECT_EQ(std::string(request.data.begin() + 2, request.data.begin() + 10), std::string("AT+CSQ\r\0", 8));

    const std::string ok126(126, 'A');
    EXPECT_EQ(WSendAtCommand(handle, ok126.c_str(), nullptr), 1);
    lines.clear();
    const std::string long127(127, 'A');
    EXPECT_EQ(WSendAtCommand(handle, long127.c_str(), nullptr), 0);
    EXPECT_EQ(lines, std::vector<std::string>{"(EBD ) WSendAtCommand: Error, string too long"});
    lines.clear();
    EXPECT_EQ(WSendAtCommand(0, long127.c_str(), nullptr), 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(WSendAtCommand(handle, nullptr, nullptr), 0);
}

TEST_F(Ready, SendAndWaitReceivesUntilTheExpectedTextOrAnError) {
    module().firmware().setAtAnswers("AT+CGATT=1", {"\r\n", "+CGREG: 1\r\n", "\r\nOK\r\n"});
    EXPECT_EQ(WSendAtCommandAndWait(handle, "AT+CGATT=1", "OK", 5), 1) << dump();
    EXPECT_TRUE(inOrder({"(EBD ) Attempting receive (#1)", "(EBD ) Attempting receive (#2)",
                         "(EBD ) WSendAtCommandAndWait: O.K."}));
    EXPECT_FALSE(has("(EBD ) Attempting receive (#3)"));

    lines.clear();
    module().firmware().setAtAnswers("AT+X", {"\r\nERROR\r\n", "\r\nOK\r\n"});
    EXPECT_EQ(WSendAtCommandAndWait(handle, "AT+X", "OK", 5), 0);
    EXPECT_FALSE(has("(EBD ) Attempting receive (#1)"));

    lines.clear();
    module().firmware().setAtAnswers("AT+Y", {"\r\n", "\r\nOK\r\n"});
    EXPECT_EQ(WSendAtCommandAndWait(handle, "AT+Y", "OK", 0), 0);
}

TEST_F(Ready, DialAndAttachWaitTwoSecondsFirst) {
    const uint64_t slept = sim.sleptMs();
    EXPECT_EQ(WStartCircuitSwitchedCall(handle, "5"), 1) << dump();
    EXPECT_GE(sim.sleptMs() - slept, 2000u);
    EXPECT_EQ(module().firmware().atCommands().back(), "ATD5;");
    EXPECT_EQ(WStartGPRSAttach(handle), 1);
    EXPECT_TRUE(has("(EBD ) WStartGPRSAttach: sleep 2 seconds after location update before attachl"));

    const std::string tooLong(252, '1');
    EXPECT_EQ(WStartCircuitSwitchedCall(handle, tooLong.c_str()), 0);
    EXPECT_EQ(WGetLastError(handle), 252);
    EXPECT_TRUE(has("(EBD ) WStartCircuitSwitchedCall: number string too long: 252 characters"));
    // Passes the length check but makes a command WSendAtCommand refuses.
    lines.clear();
    EXPECT_EQ(WStartCircuitSwitchedCall(handle, std::string(130, '2').c_str()), 0);
    EXPECT_TRUE(has("(EBD ) WSendAtCommand: Error, string too long"));

    lines.clear();
    EXPECT_EQ(WprepareNetworkRegistration(handle, 65535, 7), 1);
    EXPECT_EQ(lines.front(), "(EBD ) WprepareNetworkRegistration(timeout1= 65535, timeout2= 7)");
}

}  // namespace
}  // namespace ebd::test
