// Sessions on several threads on the real platform: each thread drives its own
// pseudo-terminal, opened and set up through termios like a serial port, with a
// module double served in real time behind it. The threads share the platform's
// port table, the library's port table, reference counter and trace route.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/ebd_bastyp.h"
#include "lib/ebd.h"
#include "sim/module_double.h"
#include "sim/pty_host.h"
#include "session_lines.h"

namespace ebd::test {
namespace {

constexpr int kSessions = 4;
constexpr uint32_t kTraceBase = 0x51A70000;
// A module that does not answer within this time has failed the test.
constexpr uint64_t kServeSliceNs = 5'000'000;

// A module double on a pseudo-terminal, served by a thread of its own until
// the module is dropped.
class ServedModule {
public:
    explicit ServedModule(int session) {
        sim::ModuleDouble::Settings settings;
        settings.start = sim::ModuleDouble::State::At;
        sim::Firmware::Config config;
        config.versionText =
            "RT_" + std::to_string(150 + session) + ":REL&Bln-Bootloader R" + std::to_string(session);
        module_ = std::make_unique<sim::ModuleDouble>(settings, config);
        std::string error;
        host_ = sim::PtyHost::Open(*module_, &error);
        if (host_ == nullptr) {
            error_ = error;
            return;
        }
        server_ = std::thread([this] {
            while (!stop_.load()) {
                if (!host_->serveFor(kServeSliceNs)) break;
            }
        });
    }
    ~ServedModule() {
        stop_ = true;
        if (server_.joinable()) server_.join();
    }
    ServedModule(const ServedModule&) = delete;
    ServedModule& operator=(const ServedModule&) = delete;

    bool ok() const { return host_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& device() const { return host_->slavePath(); }
    // Read only after the server has stopped.
    const sim::ModuleDouble& module() const { return *module_; }
    void stop() {
        stop_ = true;
        if (server_.joinable()) server_.join();
    }

private:
    std::unique_ptr<sim::ModuleDouble> module_;
    std::unique_ptr<sim::PtyHost> host_;
    std::string error_;
    std::atomic<bool> stop_{false};
    std::thread server_;
};

using Trace = SessionTrace<kTraceBase, kSessions>;
auto& g_slots = Trace::slots;

TEST(RealPortThreads, FourModulesOnFourThreadsEachSwitchTheirAutostartOff) {
    std::array<std::unique_ptr<ServedModule>, kSessions> modules;
    for (int session = 0; session < kSessions; ++session) {
        auto& served = modules[static_cast<size_t>(session)];
        served = std::make_unique<ServedModule>(session);
        ASSERT_TRUE(served->ok()) << served->error();
        // Ports 21 to 24, so that nothing else of the suite is in the way.
        setenv(("EBD_COM" + std::to_string(21 + session)).c_str(), served->device().c_str(), 1);
    }
    WDisableTraceFile();
    WSetTraceCallback(&Trace::Collect);
    WInitLibrary();
    Trace::Clear();

    std::array<std::vector<std::string>, kSessions> failures;
    std::vector<std::thread> threads;
    for (int session = 0; session < kSessions; ++session) {
        threads.emplace_back([session, &failures] {
            auto& failed = failures[static_cast<size_t>(session)];
            g_slots[static_cast<size_t>(session)].owner = std::this_thread::get_id();
            const int port = 21 + session;
            const uint32_t handle = WComOpen(port, 115200, kTraceBase + static_cast<uint32_t>(session));
            if (handle != MakeHandle(port)) failed.push_back("WComOpen gave " + std::to_string(handle));
            if (WInitServiceMode(handle) != 1) failed.push_back("WInitServiceMode");
            char bootloader[25] = {};
            if (WGetBootloaderInfo(handle, bootloader) != 1 ||
                "Bln-Bootloader R" + std::to_string(session) != bootloader)
                failed.push_back(std::string("bootloader text ") + bootloader);
            if (WSwitchJavaAutoStart(handle, 0) != 1) failed.push_back("WSwitchJavaAutoStart");
            if (WSwitchOff(handle) != 1) failed.push_back("WSwitchOff");
            if (WComClose(handle) != 1) failed.push_back("WComClose");
        });
    }
    for (auto& thread : threads) thread.join();
    WSetTraceCallback(nullptr);
    WInitLibrary();

    std::set<uint16_t> references;
    size_t requests = 0;
    for (int session = 0; session < kSessions; ++session) {
        const auto index = static_cast<size_t>(session);
        EXPECT_TRUE(failures[index].empty()) << "session " << session << ": " << failures[index].front();
        ServedModule& served = *modules[index];
        served.stop();
        const auto& received = served.module().requests();
        // Each module was asked to switch its autostart off, and nothing else of
        // another session reached it.
        const bool autostartOff = std::any_of(received.begin(), received.end(), [](const sim::Request& r) {
            return r.commandId == 107 && r.data.size() >= 3 && r.data[2] == 0;
        });
        EXPECT_TRUE(autostartOff) << "session " << session;
        for (const auto& request : received) {
            ASSERT_GE(request.data.size(), 2u);
            references.insert(static_cast<uint16_t>(request.data[0] | request.data[1] << 8));
            ++requests;
        }
        const SessionLines& slot = g_slots[index];
        EXPECT_EQ(slot.foreignThread, 0) << "session " << session;
        ASSERT_FALSE(slot.lines.empty());
        const std::string open = "(EBD ) WComOpen(portNum=" + std::to_string(21 + session) + ",";
        EXPECT_EQ(std::count_if(slot.lines.begin(), slot.lines.end(),
                                [&](const std::string& line) { return line.rfind(open, 0) == 0; }),
                  1)
            << "session " << session;
        EXPECT_EQ(slot.lines.back(), "(EBD ) WComClose: O.K.") << "session " << session;
        unsetenv(("EBD_COM" + std::to_string(21 + session)).c_str());
    }
    // The one reference counter handed out every value once.
    EXPECT_EQ(references.size(), requests);
    EXPECT_EQ(Trace::strayHandles.load(), 0);
}

}  // namespace
}  // namespace ebd::test
