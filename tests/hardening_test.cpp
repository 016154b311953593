// Misbehaving modules and vanishing devices: every wait ends in bounded time
// with a failure, no descriptor or memory is kept, bad host input is refused.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "link/gwcoml1.h"
#include "rpc/ebdmsg.h"
#include "rpc/ebdnomi.h"
#include "rpc/ebdrpc.h"
#include "script_peer.h"
#include "sim/module_double.h"
#include "sim_fixture.h"

namespace ebd::test {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::ModuleDouble;

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

// ---- Under virtual time ------------------------------------------------------

class Misbehaving : public SimFixture {
protected:
    void startModule(ModuleDouble::State state, uint8_t mode = 1) {
        ModuleDouble::Settings settings;
        settings.start = state;
        sim::Firmware::Config config;
        config.startOperationMode = mode;
        module = std::make_unique<ModuleDouble>(settings, config);
        sim.attach("COM1", module.get());
        handle = open();
        ASSERT_NE(handle, 0u);
    }
    void startScript() {
        sim.attach("COM1", &peer);
        handle = open();
        ASSERT_NE(handle, 0u);
        PortOf(handle).gotTargetVersion = 1;
    }
    double virtualSeconds(uint64_t since) const { return static_cast<double>(now() - since) / 1e9; }
    void TearDown() override {
        SimFixture::TearDown();
        module.reset();
    }
    std::unique_ptr<ModuleDouble> module;
    ScriptPeer peer;
    uint32_t handle = 0;
};

TEST_F(Misbehaving, EndlessGarbageDuringServiceModeEntryEndsWithAFailure) {
    startScript();
    // Garbage far longer than any bound: 200 000 bytes, one per character time.
    peer.send(Bytes(200'000, 0x55), now() + kMs);
    const uint64_t start = now();
    EXPECT_EQ(WInitServiceMode(handle), 0);
    EXPECT_LT(virtualSeconds(start), 60.0);
}

TEST_F(Misbehaving, NakForEverEndsTheRemoteCall) {
    startModule(ModuleDouble::State::Nomi);
    module->nakHostFrames(1'000'000);
    const uint64_t start = now();
    EXPECT_EQ(WSwitchJavaAutoStart(handle, 0), 0);
    EXPECT_EQ(WGetLastError(handle), 1);
    EXPECT_LT(virtualSeconds(start), 5.0);
}

TEST_F(Misbehaving, ForeignReferencesForEverEndTheCall) {
    startModule(ModuleDouble::State::Nomi);
    module->foreignReference(ModuleDouble::kAnyRequest, ModuleDouble::kAlways);
    const uint64_t start = now();
    EXPECT_EQ(WInitServiceMode(handle), 0);
    EXPECT_EQ(WGetLastError(handle), 4);
    EXPECT_LT(virtualSeconds(start), 5.0);
}

TEST_F(Misbehaving, AFloodOfOtherMessagesEndsTheReceive) {
    startScript();
    // Unrelated messages, each with different data so that none is doubled.
    uint64_t at = now() + kMs;
    for (int i = 0; i < kMaxMessagesPerReceive + 50; ++i) {
        peer.send(ScriptPeer::frame({0xD6, 0xFF, 0x10, 0x00, 0, 0, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)}),
                  at);
        at += 2 * kMs;
    }
    const uint64_t start = now();
    std::array<uint8_t, 8> buffer{};
    EXPECT_FALSE(EBDReceiveFromTarget(handle, 0x64, buffer.data(), buffer.size()));
    // Other messages do not extend the wait: it ends after the long wait, as on a silent line.
    EXPECT_TRUE(has("(NOMI) EBDReceiveFromTarget: no cmd 0x64 within 1000 ms, giving up")) << lines.back();
    EXPECT_GE(virtualSeconds(start), 1.0);
    EXPECT_LT(virtualSeconds(start), 1.1);
}

TEST_F(Misbehaving, TheSameMessageForEverIsSkippedOnlyUpToTheBound) {
    startScript();
    uint64_t at = now() + kMs;
    for (int i = 0; i < 2 * kMaxMessagesPerReceive; ++i) {
        peer.send(ScriptPeer::frame({0xD6, 0xFF, 0x64, 0x00, 0, 0, 0xAB, 0xCD}), at);
        at += 2 * kMs;
    }
    std::array<uint8_t, 8> buffer{};
    // The first copy is taken; a second receive meets only copies of it.
    EXPECT_TRUE(EBDReceiveFromTarget(handle, 0x64, buffer.data(), buffer.size()));
    const uint64_t start = now();
    EXPECT_FALSE(EBDReceiveFromTarget(handle, 0x64, buffer.data(), buffer.size()));
    EXPECT_LT(virtualSeconds(start), 10.0);
}

TEST_F(Misbehaving, PendingInputThatNeverStopsIsDrainedOnlyUpToTheBound) {
    startScript();
    peer.send(Bytes(20'000, 'x'), now(), 10'000);
    const uint64_t start = now();
    SkipPendingInput(handle);
    EXPECT_LT(virtualSeconds(start), 1.0);
    EXPECT_GT(peer.pending(), 10'000u);
}

TEST_F(Misbehaving, ADeviceThatVanishesMidOperationEndsEveryCall) {
    startModule(ModuleDouble::State::Nomi, 0);
    sim.vanishAt("COM1", now() + 30 * kMs);
    const uint64_t start = now();
    EXPECT_EQ(WInitServiceMode(handle), 0);
    EXPECT_EQ(WSwitchJavaAutoStart(handle, 0), 0);
    EXPECT_EQ(WSwitchOff(handle), 0);
    EXPECT_LT(virtualSeconds(start), 30.0);
    EXPECT_EQ(WComClose(handle), 1);
}

TEST_F(Misbehaving, NullPointersFromTheHostAreRefused) {
    startModule(ModuleDouble::State::Nomi);
    EXPECT_EQ(WGetBootloaderInfo(handle, nullptr), 0);
    EXPECT_EQ(WSendAtCommand(handle, nullptr, nullptr), 0);
    EXPECT_EQ(WReceiveAtCommand(handle, nullptr), 0);
    EXPECT_EQ(WSendAtCommandAndWait(handle, nullptr, "OK", 1), 0);
    EXPECT_EQ(WSendAtCommandAndWait(handle, "AT", nullptr, 1), 0);
    EXPECT_EQ(WStartCircuitSwitchedCall(handle, nullptr), 0);
    // Null outputs of remote calls are skipped, not written through.
    EXPECT_EQ(EBDRPCGetCurrentOperationMode(handle, nullptr), 0);
    uint32_t hw = 0;
    EXPECT_EQ(EBDRPCGetVersion(handle, &hw, nullptr, nullptr, 0), 0);
    EBDMarkLineEnds(nullptr, nullptr);
}

// ---- Endless misbehaviours against the time bounds -------------------------------

// Each misbehaviour ends its step as a module that falls silent at the same
// point would (same error), within that silent time plus one second, and a
// trace line says why.
class Endless : public SimFixture {
protected:
    using Kind = ModuleDouble::Endless;

    // A fresh module in NOMI mode (service mode already) and a session past its version gate.
    void start() {
        if (handle != 0) WComClose(handle);
        ModuleDouble::Settings settings;
        settings.start = ModuleDouble::State::Nomi;
        sim::Firmware::Config config;
        config.startOperationMode = 1;
        module = std::make_unique<ModuleDouble>(settings, config);
        sim.attach("COM1", module.get());
        handle = open();
        ASSERT_NE(handle, 0u);
        uint8_t mode = 0;
        ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
        module->clearRecords();
        lines.clear();
    }
    struct Timed {
        uint16_t error;
        uint64_t ns;
    };
    Timed timed(const std::function<uint16_t()>& call) {
        const uint64_t begin = now();
        const uint16_t error = call();
        return {error, now() - begin};
    }
    Timed autostart() {
        return timed([this] { return EBDRPCSwitchJavaAutoStart(handle, 0); });
    }
    void TearDown() override {
        SimFixture::TearDown();
        module.reset();
    }
    static constexpr uint64_t kSecond = 1000 * kMs;
    std::unique_ptr<ModuleDouble> module;
    uint32_t handle = 0;
};

TEST_F(Endless, InPlaceOfAConfirmEachMisbehaviourEndsTheReceiveAsSilenceWould) {
    start();
    module->startEndless(Kind::Silent, msg::kSwitchJavaAutoStart);
    const Timed silent = autostart();
    ASSERT_EQ(silent.error, 2);
    const struct {
        const char* name;
        Kind kind;
        const char* line;
    } cases[] = {
        {"STX flood", Kind::StxFlood, "(GWL3) NomiL3Transfer: nothing usable received in 1000 ms, giving up"},
        {"stray bytes", Kind::StrayBytes,
         "(GWL3) NomiL3Transfer: nothing usable received in 4096 passes, giving up"},
        {"bad check byte", Kind::BadCheckFrame,
         "(GWL3) NomiL3Transfer: nothing usable received in 1000 ms, giving up"},
        {"same segment", Kind::SameSegment,
         "(GWL3) NomiL3Transfer: nothing usable received in 402 ms, giving up"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        module->startEndless(c.kind, msg::kSwitchJavaAutoStart);
        const Timed got = autostart();
        EXPECT_EQ(got.error, silent.error);
        EXPECT_LE(got.ns, silent.ns + kSecond);
        EXPECT_EQ(count(c.line), 1) << dump();
    }

    // The same confirm for ever: the first copy is the confirm, the others are
    // doubled messages that keep the next receive from nothing.
    start();
    module->startEndless(Kind::SameConfirm, msg::kGetCurrentOperationMode);
    uint8_t mode = 0;
    ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    const Timed got = autostart();
    EXPECT_EQ(got.error, silent.error);
    EXPECT_LE(got.ns, silent.ns + kSecond);
    EXPECT_TRUE(has("(NOMI) EBDReceiveFromTarget: no cmd 0x6c within 1000 ms, giving up")) << dump();
    EXPECT_TRUE(has("(GWL3) NomiL3RemoveFromRxQueue: skipped doubled msg"));
}

TEST_F(Endless, GarbageAheadOfARequestEndsTheSendAsAMissingAcknowledgementWould) {
    start();
    module->settings().silence = ModuleDouble::Silence::All;
    const Timed silent = autostart();
    ASSERT_EQ(silent.error, 1);
    for (Kind kind : {Kind::StxFlood, Kind::StrayBytes}) {
        start();
        module->startEndless(kind, ModuleDouble::kOnNomiEntry);
        const Timed got = autostart();
        EXPECT_EQ(got.error, silent.error);
        EXPECT_LE(got.ns, silent.ns + kSecond);
        // The short receive wait and the acknowledgement wait: 2 + 48 ms.
        EXPECT_EQ(count("(GWL3) NomiL3Transfer: nothing usable received in 50 ms, giving up"), 1) << dump();
        EXPECT_TRUE(module->requests().empty());
    }
}

TEST_F(Endless, EveryTryOfACallWithFiveEndsAsASilentOne) {
    const auto setMode = [this] { return EBDRPCSetCurrentOperationMode(handle, 2); };
    start();
    module->startEndless(Kind::Silent, msg::kSetCurrentOperationMode);
    const Timed silent = timed(setMode);
    ASSERT_EQ(silent.error, 2);
    ASSERT_GE(silent.ns, 5 * kSecond);

    start();
    module->startEndless(Kind::StxFlood, msg::kSetCurrentOperationMode);
    Timed got = timed(setMode);
    EXPECT_EQ(got.error, silent.error);
    EXPECT_LE(got.ns, silent.ns + kSecond);
    EXPECT_EQ(count("(GWL3) NomiL3Transfer: nothing usable received in 1000 ms, giving up"), 5) << dump();

    start();
    module->startEndless(Kind::SameConfirm, msg::kGetCurrentOperationMode);
    uint8_t mode = 0;
    ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
    got = timed(setMode);
    EXPECT_EQ(got.error, silent.error);
    EXPECT_LE(got.ns, silent.ns + kSecond);
    EXPECT_EQ(count("(NOMI) EBDReceiveFromTarget: no cmd 0x66 within 1000 ms, giving up"), 5) << dump();
}

// ---- Real pseudo-terminals ----------------------------------------------------

class RealPort : public ::testing::Test {
protected:
    void SetUp() override {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        setenv("EBD_COM9", ptsname(master_), 1);
        setenv("EBD_COM10", "/nonexistent/ebd-test-device", 1);
        WSetTraceCallback(nullptr);
        WInitLibrary();
    }
    void TearDown() override {
        if (master_ >= 0) close(master_);
        unsetenv("EBD_COM9");
        unsetenv("EBD_COM10");
    }
    int master_ = -1;
};

TEST_F(RealPort, OpenCloseCyclesAndFailedOpensKeepNoDescriptor) {
    const int before = OpenDescriptors();
    for (int i = 0; i < 200; ++i) {
        const uint32_t handle = WComOpen(9, 115200, 0);
        ASSERT_EQ(handle, MakeHandle(9));
        EXPECT_EQ(WComOpen(9, 115200, 0), 0u);  // busy
        EXPECT_EQ(WComOpen(10, 115200, 0), 0u);  // missing
        ASSERT_EQ(WComClose(handle), 1);
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(RealPort, AVanishedDeviceIsReleasedAndTheCallsEndQuickly) {
    const int before = OpenDescriptors();
    const uint32_t handle = WComOpen(9, 115200, 0);
    ASSERT_NE(handle, 0u);
    // The adapter is unplugged: the far end of the line disappears.
    close(master_);
    master_ = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WInitServiceMode(handle), 0);
    EXPECT_EQ(WSwitchOff(handle), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // Its descriptor is gone before the session is closed (the master is gone too).
    EXPECT_EQ(OpenDescriptors(), before - 1);
    EXPECT_EQ(WComClose(handle), 1);
    EXPECT_EQ(OpenDescriptors(), before - 1);
}

TEST_F(RealPort, ASilentPseudoTerminalCannotRaiseTheIgnition) {
    const uint32_t handle = WComOpen(9, 115200, 0);
    ASSERT_NE(handle, 0u);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WInitServiceMode(handle), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(WComClose(handle), 1);
}

}  // namespace
}  // namespace ebd::test
