// The autostart-off workflow against the module double under virtual time:
// each of the five outcomes, what the module is left with, and that one
// attempt leaves the port free for the next.
#include "app/workflow.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "sim/module_double.h"
#include "sim_fixture.h"

namespace ebd::test {
namespace {

namespace fs = std::filesystem;
using app::Outcome;
using app::RunAutostartOff;
using sim::Firmware;
using sim::ModuleDouble;

class Workflow : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        // A working directory of its own, so that a trace file would show.
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("workflow_test_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        fs::current_path(dir_);
        sim.attach("COM1", &module);
    }
    void TearDown() override {
        EXPECT_FALSE(fs::exists(dir_ / "tracefiles")) << "the workflow must not write a trace file";
        fs::current_path(old_);
        fs::remove_all(dir_);
        SimFixture::TearDown();
    }
    int requestsWithId(uint16_t id) const {
        const auto& all = module.requests();
        return static_cast<int>(
            std::count_if(all.begin(), all.end(), [id](const auto& r) { return r.commandId == id; }));
    }
    bool portWasOpened() const {
        const auto& events = module.lineEvents();
        return std::any_of(events.begin(), events.end(),
                           [](const auto& e) { return e.kind == ModuleDouble::LineEvent::Kind::Open; });
    }

    ModuleDouble module;
    ModuleDouble fifth;  // for COM5; outlives the ports the fixture closes
    fs::path dir_, old_;
};

TEST_F(Workflow, NoPortChosenTouchesNoPort) {
    const app::Attempt attempt = RunAutostartOff(0);
    EXPECT_EQ(attempt.outcome, Outcome::NoPort);
    EXPECT_FALSE(attempt.opened);
    EXPECT_FALSE(portWasOpened());
    EXPECT_TRUE(module.received().empty());
    EXPECT_TRUE(lines.empty()) << dump();
    EXPECT_EQ(RunAutostartOff(-3).outcome, Outcome::CannotConnect) << "no port has a negative number";
    EXPECT_FALSE(portWasOpened());
}

TEST_F(Workflow, AModuleInAtModeEndsWithAutostartOffAndSwitchedOff) {
    ASSERT_TRUE(module.firmware().javaAutostart());
    const app::Attempt attempt = RunAutostartOff(1);
    EXPECT_EQ(attempt.outcome, Outcome::Success);
    EXPECT_TRUE(attempt.opened);
    EXPECT_FALSE(module.firmware().javaAutostart());
    EXPECT_EQ(module.state(), ModuleDouble::State::Off);
    EXPECT_EQ(requestsWithId(Firmware::kJavaAutostart), 1);
    // The request carries the byte 0 after its reference.
    const auto& requests = module.requests();
    const auto autostart = std::find_if(requests.begin(), requests.end(), [](const auto& r) {
        return r.commandId == Firmware::kJavaAutostart;
    });
    ASSERT_NE(autostart, requests.end());
    ASSERT_GE(autostart->data.size(), 3u);
    EXPECT_EQ(autostart->data[2], 0);
    EXPECT_EQ(sim.openCount(), 0) << "the session is closed when the attempt ends";
    // Trace handle 0 goes the trace-file route, which is off: the callback sees nothing.
    EXPECT_TRUE(lines.empty()) << dump();
}

TEST_F(Workflow, TheChosenPortIsOpenedAt115200Baud) {
    sim.attach("COM5", &fifth);
    EXPECT_EQ(RunAutostartOff(5).outcome, Outcome::Success);
    EXPECT_FALSE(portWasOpened()) << "COM1 stays untouched";
    const auto& events = fifth.lineEvents();
    const auto opened = std::find_if(events.begin(), events.end(), [](const auto& e) {
        return e.kind == ModuleDouble::LineEvent::Kind::Open;
    });
    ASSERT_NE(opened, events.end());
    const auto firstLine = std::find_if(
        opened, events.end(), [](const auto& e) { return e.kind == ModuleDouble::LineEvent::Kind::Line; });
    ASSERT_NE(firstLine, events.end());
    EXPECT_EQ(firstLine->line.baudRate, 115200u);
    EXPECT_FALSE(fifth.firmware().javaAutostart());
}

TEST_F(Workflow, ANonZeroTraceHandleSendsTheLinesToTheCallback) {
    EXPECT_EQ(RunAutostartOff(1, 0x51).outcome, Outcome::Success);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::all_of(traceHandles.begin(), traceHandles.end(), [](uint32_t h) { return h == 0x51; }));
    EXPECT_TRUE(has("(EBD ) WComOpen(portNum=1, baudRate=115200, tHandle=0x00000051)")) << dump();
    EXPECT_TRUE(inOrder({"(EBD ) WSwitchJavaAutoStart(onOff=0", "(EBD ) WSwitchJavaAutoStart: O.K.",
                         "(EBD ) WSwitchOff", "(EBD ) WSwitchOff: O.K.", "(EBD ) WComClose()",
                         "(EBD ) WComClose: O.K."}))
        << dump();
}

TEST_F(Workflow, ModulesThatCannotBeReachedGiveCannotConnect) {
    // Nothing behind the port.
    app::Attempt attempt = RunAutostartOff(2);
    EXPECT_EQ(attempt.outcome, Outcome::CannotConnect);
    EXPECT_FALSE(attempt.opened);
    // A port number the library has no entry for.
    attempt = RunAutostartOff(33);
    EXPECT_EQ(attempt.outcome, Outcome::CannotConnect);
    EXPECT_FALSE(attempt.opened);
    // A port held by somebody else.
    sim.failOpen("COM1", platform::OpenError::Busy);
    attempt = RunAutostartOff(1);
    EXPECT_EQ(attempt.outcome, Outcome::CannotConnect);
    EXPECT_FALSE(attempt.opened);
    sim.failOpen("COM1", platform::OpenError::None);
    // A module that answers nothing: the port opens, the module stays mute.
    module.settings().silence = ModuleDouble::Silence::All;
    attempt = RunAutostartOff(1);
    EXPECT_EQ(attempt.outcome, Outcome::CannotConnect);
    EXPECT_TRUE(attempt.opened);
    EXPECT_EQ(sim.openCount(), 0);
    EXPECT_TRUE(module.firmware().javaAutostart());
}

TEST_F(Workflow, ARefusedAutostartRequestGivesCannotSwitchOffAutostart) {
    module.firmware().refuse(Firmware::kJavaAutostart, 5);
    EXPECT_EQ(RunAutostartOff(1).outcome, Outcome::CannotSwitchOffAutostart);
    EXPECT_TRUE(module.firmware().javaAutostart());
    EXPECT_EQ(requestsWithId(Firmware::kSwitchOff), 0) << "the module is not switched off after a refusal";
    EXPECT_EQ(sim.openCount(), 0);
    // The port is free again: once the module accepts, the next attempt succeeds.
    module.firmware().refuse(Firmware::kJavaAutostart, 0);
    EXPECT_EQ(RunAutostartOff(1).outcome, Outcome::Success);
    EXPECT_FALSE(module.firmware().javaAutostart());
}

TEST_F(Workflow, AnAutostartConfirmCutBeforeItsResultGivesCannotSwitchOffAutostart) {
    module.firmware().refuse(Firmware::kJavaAutostart, 3);
    module.cutConfirm(Firmware::kJavaAutostart, 2);
    EXPECT_EQ(RunAutostartOff(1).outcome, Outcome::CannotSwitchOffAutostart);
    EXPECT_EQ(requestsWithId(Firmware::kSwitchOff), 0);
    // Even an accepting module's cut confirm cannot be taken for success.
    module.firmware().refuse(Firmware::kJavaAutostart, 0);
    module.cutConfirm(Firmware::kJavaAutostart, 2);
    EXPECT_EQ(RunAutostartOff(1).outcome, Outcome::CannotSwitchOffAutostart);
}

TEST_F(Workflow, AModuleThatNeverFallsSilentGivesCannotClose) {
    module.settings().neverSwitchOff = true;
    EXPECT_EQ(RunAutostartOff(1).outcome, Outcome::CannotClose);
    EXPECT_FALSE(module.firmware().javaAutostart()) << "the autostart was switched off before";
    EXPECT_EQ(requestsWithId(Firmware::kSwitchOff), 5);
    EXPECT_EQ(sim.openCount(), 0);
}

TEST_F(Workflow, TwoAttemptsInARowOnOnePortBothSucceed) {
    EXPECT_EQ(RunAutostartOff(1).outcome, Outcome::Success);
    ASSERT_EQ(module.state(), ModuleDouble::State::Off);
    module.firmware().setJavaAutostart(true);  // the next module on the line
    // The second attempt opens the port again and powers the module on.
    EXPECT_EQ(RunAutostartOff(1).outcome, Outcome::Success);
    EXPECT_FALSE(module.firmware().javaAutostart());
    EXPECT_EQ(module.powerOns(), 1);
    EXPECT_EQ(requestsWithId(Firmware::kJavaAutostart), 2);
    EXPECT_EQ(sim.openCount(), 0);
}

// ---- Misbehaving modules and vanishing devices ------------------------------------

// One attempt against a fresh module that `prepare` sets up: its outcome and
// the virtual time it took.
class Misbehaving : public Workflow {
protected:
    using Endless = ModuleDouble::Endless;
    struct Run {
        Outcome outcome;
        uint64_t ns;
    };
    Run attempt(const std::function<void(ModuleDouble&)>& prepare) {
        ModuleDouble fresh;
        sim.attach("COM1", &fresh);
        prepare(fresh);
        const uint64_t start = now();
        const Outcome outcome = RunAutostartOff(1).outcome;
        const uint64_t took = now() - start;
        sim.attach("COM1", &module);
        return {outcome, took};
    }
    // Runs `act` when the module has the request of index `k` (0 = the first) complete.
    static void atRequest(ModuleDouble& m, int k, std::function<void()> act) {
        m.onRequest = [seen = 0, k, act](const sim::Request&) mutable {
            if (seen++ == k) act();
        };
    }
    // Within twice the time of the same path against a silent module, plus two seconds.
    static void expectWithinBound(const Run& got, const Run& silent) {
        EXPECT_LE(got.ns, 2 * silent.ns + 2'000 * kMs)
            << "took " << got.ns / kMs << " ms, silent " << silent.ns / kMs << " ms";
    }
    static constexpr Endless kKinds[] = {Endless::StxFlood, Endless::StrayBytes, Endless::BadCheckFrame,
                                         Endless::SameSegment, Endless::SameConfirm};
};

TEST_F(Misbehaving, AModuleThatMisbehavesOnceInNomiModeCannotBeConnectedAsASilentOne) {
    const Run silent = attempt([](ModuleDouble& m) { m.settings().silence = ModuleDouble::Silence::Nomi; });
    ASSERT_EQ(silent.outcome, Outcome::CannotConnect);
    for (Endless kind : kKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        const Run got =
            attempt([kind](ModuleDouble& m) { m.startEndless(kind, ModuleDouble::kOnNomiEntry); });
        EXPECT_EQ(got.outcome, Outcome::CannotConnect);
        expectWithinBound(got, silent);
    }
}

TEST_F(Misbehaving, AMisbehaviourFromAnyOfTheFirstRequestsEndsTheAttemptAsSilenceFromThereWould) {
    // Requests: version, operation mode, service mode, autostart, operation mode, switch-off.
    for (int k = 0; k < 5; ++k) {
        for (Endless kind : kKinds) {
            SCOPED_TRACE("request " + std::to_string(k) + ", kind " + std::to_string(static_cast<int>(kind)));
            const Run got =
                attempt([&](ModuleDouble& m) { atRequest(m, k, [&m, kind] { m.startEndless(kind); }); });
            // The same confirm for ever answers its own request: the next one meets the silence.
            const int silentFrom = kind == Endless::SameConfirm ? k + 1 : k;
            const Run silent = attempt([&](ModuleDouble& m) {
                atRequest(m, silentFrom, [&m] { m.startEndless(Endless::Silent); });
            });
            EXPECT_EQ(got.outcome, silent.outcome);
            expectWithinBound(got, silent);
        }
    }
}

TEST_F(Misbehaving, ADeviceThatVanishesAtAnyOfTheFirstSixRequestsEndsTheAttemptQuickly) {
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE("request " + std::to_string(k));
        const Run gone = attempt([&](ModuleDouble& m) { atRequest(m, k, [this] { sim.vanish("COM1"); }); });
        const Run mute =
            attempt([&](ModuleDouble& m) { atRequest(m, k, [&m] { m.settings().silentFromNs = 0; }); });
        EXPECT_NE(gone.outcome, Outcome::Success);
        EXPECT_EQ(gone.outcome, mute.outcome);
        expectWithinBound(gone, mute);
        EXPECT_LT(gone.ns, 1'000 * kMs);
        EXPECT_EQ(sim.openCount(), 0);
    }
}

TEST(WorkflowMessages, EachOutcomeHasItsTextAndCaption) {
    const auto expect = [](Outcome outcome, const std::string& text, const std::string& caption) {
        EXPECT_EQ(app::MessageFor(outcome).text, text);
        EXPECT_EQ(app::MessageFor(outcome).caption, caption);
    };
    expect(Outcome::NoPort, "No COM Port selected", "Error");
    expect(Outcome::CannotConnect, "Cannot connect to Module", "Error");
    expect(Outcome::CannotSwitchOffAutostart, "Cannot switchoff autostart", "Error");
    expect(Outcome::CannotClose, "Cannot close Module connection", "Error");
    expect(Outcome::Success, "Autostart successfully switched off", "Disable Autostart");
}

}  // namespace
}  // namespace ebd::test
