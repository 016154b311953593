// Sessions on different threads at once: each thread drives its own port with
// its own module double on its own virtual clock, through the C interface.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/ebd_core.h"
#include "lib/ebd.h"
#include "platform/sim_platform.h"
#include "rpc/ebdnomi.h"
#include "sim/module_double.h"
#include "session_lines.h"

namespace ebd::test {
namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 40;  // five remote calls each: 200 per session
constexpr uint32_t kTraceBase = 0x7E500000;

using Trace = SessionTrace<kTraceBase, kThreads>;
auto& g_slots = Trace::slots;

// Values that differ from session to session and call to call.
std::vector<uint8_t> UserData(int session, int round) {
    std::vector<uint8_t> data(static_cast<size_t>(3 + (session + round) % 29));
    for (size_t b = 0; b < data.size(); ++b) data[b] = static_cast<uint8_t>(0x11 * session + 7 * round + b);
    return data;
}
std::vector<uint8_t> CalibrationData(int session, int round) {
    std::vector<uint8_t> data(static_cast<size_t>(2 + (3 * session + round) % 17));
    for (size_t b = 0; b < data.size(); ++b)
        data[b] = static_cast<uint8_t>(0xA0 ^ (session << 4) ^ (round + b));
    return data;
}
std::string AtCommand(int session) {
    return "AT+TEST=" + std::to_string(session);
}
std::string AtAnswer(int session, int round) {
    return "+TEST: " + std::to_string(session * 1000 + round) + "\r\n";
}

struct SessionRun {
    std::vector<std::string> failures;
    std::vector<uint16_t> references;  // of every request the module received
};

// One session's whole run on the calling thread: its own clock and module,
// WComOpen, WInitServiceMode, 200 remote calls checked value by value, WComClose.
void RunSession(platform::SimPlatform& sim, int session, SessionRun& run) {
    auto fail = [&](const std::string& what) { run.failures.push_back(what); };
    platform::SimPlatform::ThreadClock clock(sim);
    const int port = session + 1;
    const std::string name = "COM" + std::to_string(port);

    sim::ModuleDouble::Settings settings;
    settings.start = sim::ModuleDouble::State::At;
    sim::Firmware::Config config;
    config.hardwareVersion = 0x00030000u + static_cast<uint32_t>(session);
    config.versionText =
        "MOD_" + std::to_string(140 + session) + ":REL&Bln-Bootloader T" + std::to_string(session);
    sim::ModuleDouble module(settings, config);
    for (int round = 0; round < kRounds; round += 2) {
        module.firmware().setAtAnswers(AtCommand(session) + "," + std::to_string(round),
                                       {AtAnswer(session, round)});
    }
    sim.attach(name, &module);

    const uint32_t handle = WComOpen(port, 115200, kTraceBase + static_cast<uint32_t>(session));
    if (handle != MakeHandle(port)) fail("WComOpen gave " + std::to_string(handle));
    if (WInitServiceMode(handle) != 1) fail("WInitServiceMode failed");

    for (int round = 0; round < kRounds; ++round) {
        const std::string at = " in round " + std::to_string(round);
        const uint32_t userId = 0x10000u * static_cast<uint32_t>(session + 1) + static_cast<uint32_t>(round);
        const auto key = static_cast<uint16_t>(0x100 * session + round);
        const std::vector<uint8_t> user = UserData(session, round);
        if (WWriteNVRAMUserItem(handle, userId, key, user.data(), static_cast<uint16_t>(user.size())) != 1)
            fail("user write" + at);
        std::vector<uint8_t> back(64, 0xEE);
        uint16_t bytesRead = 0;
        if (WReadNVRAMUserItem(handle, userId, key, back.data(), static_cast<uint16_t>(back.size()),
                               &bytesRead) != 1 ||
            bytesRead != user.size() || !std::equal(user.begin(), user.end(), back.begin()))
            fail("user read" + at);

        const auto id = static_cast<uint8_t>(1 + (session * 7 + round) % 60);
        const std::vector<uint8_t> cal = CalibrationData(session, round);
        if (WWriteNVRAMCalibrationItem(handle, id, cal.data(), static_cast<uint16_t>(cal.size())) != 1)
            fail("calibration write" + at);
        std::vector<uint8_t> calBack(32, 0xEE);
        if (WReadNVRAMCalibrationItem(handle, id, calBack.data(), static_cast<uint16_t>(calBack.size()),
                                      &bytesRead) != 1 ||
            bytesRead != cal.size() || !std::equal(cal.begin(), cal.end(), calBack.begin()))
            fail("calibration read" + at);

        if (round % 2 == 0) {
            char response[513] = {};
            const std::string command = AtCommand(session) + "," + std::to_string(round);
            std::string expected = AtAnswer(session, round);
            expected.replace(expected.size() - 2, 2, "<CR><LF>");
            if (WSendAtCommand(handle, command.c_str(), response) != 1 || expected != response)
                fail("AT command" + at + ": " + response);
        } else {
            uint8_t exists = 0;
            if (WCheckNVRAMCalibrationItem(handle, id, &exists) != 1 || exists != 1)
                fail("calibration check" + at);
        }
    }
    char bootloader[25] = {};
    if (WGetBootloaderInfo(handle, bootloader) != 1 ||
        "Bln-Bootloader T" + std::to_string(session) != bootloader)
        fail(std::string("bootloader text ") + bootloader);
    if (WComClose(handle) != 1) fail("WComClose failed");
    sim.attach(name, nullptr);

    for (const auto& request : module.requests()) {
        if (request.data.size() < 2) {
            fail("request " + std::to_string(request.commandId) + " without a reference");
            continue;
        }
        run.references.push_back(static_cast<uint16_t>(request.data[0] | request.data[1] << 8));
    }
}

// A session's lines with the hex-dump lines left out: the dumps of confirms
// carry the references, which depend on the other threads.
std::vector<std::string> WithoutDumps(const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    for (const auto& line : lines)
        if (line.rfind("(EBD )   ", 0) != 0) kept.push_back(line);
    return kept;
}

class Threads : public ::testing::Test {
protected:
    void SetUp() override {
        platform::install(&sim);
        WDisableTraceFile();
        WSetTraceCallback(&Trace::Collect);
        WInitLibrary();
        Trace::Clear();
    }
    void TearDown() override {
        WSetTraceCallback(nullptr);
        WInitLibrary();
        platform::install(nullptr);
    }
    platform::SimPlatform sim;
};

TEST_F(Threads, EightSessionsOnEightThreadsEachGetTheirOwnRepliesReferencesAndLines) {
    // Each session alone first, on this thread: the lines it traces by itself.
    std::array<std::vector<std::string>, kThreads> alone;
    for (int session = 0; session < kThreads; ++session) {
        g_slots[static_cast<size_t>(session)].owner = std::this_thread::get_id();
        SessionRun run;
        RunSession(sim, session, run);
        ASSERT_TRUE(run.failures.empty()) << "session " << session << " alone: " << run.failures.front();
        alone[static_cast<size_t>(session)] = g_slots[static_cast<size_t>(session)].lines;
        ASSERT_GT(alone[static_cast<size_t>(session)].size(), 1000u);
    }
    Trace::Clear();
    // A port's send-time stamp outlives its session: a second apart, no first
    // block of the second runs waits for the 10 ms gap.
    sim.advanceNs(1'000'000'000);

    // Then all at once, each on a thread of its own.
    EBDSetNextReference(0);
    std::array<SessionRun, kThreads> runs;
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    for (int session = 0; session < kThreads; ++session) {
        threads.emplace_back([&, session] {
            g_slots[static_cast<size_t>(session)].owner = std::this_thread::get_id();
            // Start together, so that the sessions really overlap.
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            RunSession(sim, session, runs[static_cast<size_t>(session)]);
        });
    }
    for (auto& thread : threads) thread.join();

    std::set<uint16_t> references;
    size_t requests = 0;
    for (int session = 0; session < kThreads; ++session) {
        const auto& run = runs[static_cast<size_t>(session)];
        const SessionLines& slot = g_slots[static_cast<size_t>(session)];
        for (const auto& failure : run.failures) ADD_FAILURE() << "session " << session << ": " << failure;
        EXPECT_EQ(slot.foreignThread, 0) << "session " << session;
        // Every line whole and of this session: the same lines, in the same
        // order, as when the session ran alone.
        EXPECT_EQ(WithoutDumps(slot.lines), WithoutDumps(alone[static_cast<size_t>(session)]))
            << "session " << session;
        EXPECT_EQ(slot.lines.size(), alone[static_cast<size_t>(session)].size()) << "session " << session;
        for (const auto& line : slot.lines) {
            ASSERT_LE(line.size(), 255u);
            ASSERT_EQ(line.find('\n'), std::string::npos) << line;
        }
        references.insert(run.references.begin(), run.references.end());
        requests += run.references.size();
    }
    EXPECT_EQ(Trace::strayHandles.load(), 0);
    // Every reference went to one request only, and none was skipped.
    EXPECT_EQ(references.size(), requests);
    ASSERT_FALSE(references.empty());
    EXPECT_EQ(*references.begin(), 0);
    EXPECT_EQ(*references.rbegin(), requests - 1);
    EXPECT_GE(requests, static_cast<size_t>(kThreads) * 200);
}

TEST_F(Threads, TwoThreadsOpeningOnePortNeverBothWin) {
    sim::ModuleDouble::Settings settings;
    settings.start = sim::ModuleDouble::State::Nomi;
    sim::ModuleDouble module(settings);
    sim.attach("COM5", &module);
    for (int attempt = 0; attempt < 50; ++attempt) {
        std::array<uint32_t, 2> handles{};
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (size_t t = 0; t < handles.size(); ++t) {
            threads.emplace_back([&, t] {
                platform::SimPlatform::ThreadClock clock(sim);
                ++ready;
                while (ready.load() < 2) std::this_thread::yield();
                handles[t] = WComOpen(5, 115200, 0);
            });
        }
        for (auto& thread : threads) thread.join();
        const int winners = (handles[0] != 0) + (handles[1] != 0);
        ASSERT_EQ(winners, 1) << "attempt " << attempt;
        // The loser was told that the port is taken.
        const uint16_t error = WGetLastError(MakeHandle(5));
        EXPECT_TRUE(error == 3 || error == 4) << error;
        EXPECT_EQ(sim.openCount(), 1);
        {
            platform::SimPlatform::ThreadClock clock(sim);
            ASSERT_EQ(WComClose(MakeHandle(5)), 1);
        }
        EXPECT_EQ(sim.openCount(), 0);
    }
    sim.attach("COM5", nullptr);
}

TEST_F(Threads, TraceFileLinesOfSessionsOnThreadsNeverInterleave) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("ebd-threads-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    WEnableTraceFile();

    constexpr int kFileThreads = 4;
    std::array<std::unique_ptr<sim::ModuleDouble>, kFileThreads> modules;
    for (int t = 0; t < kFileThreads; ++t) {
        sim::ModuleDouble::Settings settings;
        settings.start = sim::ModuleDouble::State::Nomi;
        modules[static_cast<size_t>(t)] = std::make_unique<sim::ModuleDouble>(settings);
        sim.attach("COM" + std::to_string(10 + t), modules[static_cast<size_t>(t)].get());
    }
    std::vector<std::thread> threads;
    std::array<int, kFileThreads> results{};
    for (int t = 0; t < kFileThreads; ++t) {
        threads.emplace_back([&, t] {
            platform::SimPlatform::ThreadClock clock(sim);
            const uint32_t handle = WComOpen(10 + t, 115200, 0);  // trace handle 0: the file
            int ok = handle != 0;
            for (int round = 0; round < 20; ++round) {
                const std::vector<uint8_t> data = UserData(t, round);
                ok &= WWriteNVRAMUserItem(handle, 77, static_cast<uint16_t>(round), data.data(),
                                          static_cast<uint16_t>(data.size()));
            }
            ok &= WComClose(handle);
            results[static_cast<size_t>(t)] = ok;
        });
    }
    for (auto& thread : threads) thread.join();
    WDisableTraceFile();

    std::ifstream file(dir / "tracefiles" / "tracefile.txt");
    std::string line;
    int lines = 0;
    std::array<int, kFileThreads> calls{};
    const std::regex whole(R"(\[\d{4,}\.\d{3}\] \((EBD |EBD|EBDV|NOMI|RPC |GWL3)\).*)");
    while (std::getline(file, line)) {
        ++lines;
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
        for (int t = 0; t < kFileThreads; ++t) {
            if (line.find("WComOpen(portNum=" + std::to_string(10 + t) + ",") != std::string::npos)
                ++calls[static_cast<size_t>(t)];
        }
    }
    // Windows removes no file that is still open.
    file.close();
    fs::current_path(before);
    fs::remove_all(dir);
    for (int t = 0; t < kFileThreads; ++t) {
        EXPECT_EQ(results[static_cast<size_t>(t)], 1) << t;
        EXPECT_EQ(calls[static_cast<size_t>(t)], 1) << t;
        sim.attach("COM" + std::to_string(10 + t), nullptr);
    }
    EXPECT_GT(lines, kFileThreads * 20 * 5);
}

}  // namespace
}  // namespace ebd::test
