// Test fixture: a module double in NOMI mode on COM1 with a session open on
// it, or, for suites that start their own, the means to do so. By default the
// session's version query is made in SetUp and the records and lines are
// cleared afterwards, so that a test sees only what its own calls send.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "rpc/ebdrpc.h"
#include "sim/module_double.h"
#include "sim_fixture.h"

namespace ebd::test {

class ModuleFixture : public SimFixture {
protected:
    using ModuleDouble = sim::ModuleDouble;

    void SetUp() override {
        SimFixture::SetUp();
        if (!startInSetUp()) return;
        ModuleDouble::Settings settings;
        settings.start = ModuleDouble::State::Nomi;
        sim::Firmware::Config config;
        configure(settings, config);
        startModule(settings, config);
        ASSERT_NE(handle, 0u);
        if (versionQueryInSetUp()) pastVersionGate();
    }
    void TearDown() override {
        SimFixture::TearDown();
        double_.reset();
    }

    // Hooks: adjust the settings and the firmware's configuration before the
    // double is built; install handlers of the suite's own once it is built;
    // leave the version query to the test by returning false; leave the whole
    // start to the test (through startModule) by returning false.
    virtual void configure(ModuleDouble::Settings& /*settings*/, sim::Firmware::Config& /*config*/) {}
    virtual void install(sim::Firmware& /*firmware*/) {}
    virtual bool versionQueryInSetUp() const { return true; }
    virtual bool startInSetUp() const { return true; }

    // Puts a fresh module double made from `settings` and `config` on COM1 and
    // opens a session on it; `handle` is 0 when the port does not open.
    void startModule(const ModuleDouble::Settings& settings, const sim::Firmware::Config& config) {
        double_ = std::make_unique<ModuleDouble>(settings, config);
        install(module().firmware());
        sim.attach("COM1", double_.get());
        handle = open();
    }

    // Makes the session's version query, so that the records hold only what
    // follows: afterwards each call sends its own request alone.
    void pastVersionGate() {
        uint8_t mode = 0;
        ASSERT_EQ(EBDRPCGetCurrentOperationMode(handle, &mode), 0);
        module().clearRecords();
        lines.clear();
    }

    ModuleDouble& module() { return *double_; }
    const ModuleDouble& module() const { return *double_; }
    std::vector<uint16_t> requestIds() const {
        std::vector<uint16_t> ids;
        for (const auto& r : module().requests()) ids.push_back(r.commandId);
        return ids;
    }
    const sim::Request& lastRequest() const { return module().requests().back(); }
    // The module answers `requestId` with the request's reference and `body`.
    void answer(uint16_t requestId, std::function<std::vector<uint8_t>(const sim::Request&)> body) {
        module().firmware().setHandler(requestId, [body](const sim::Request& r, sim::Firmware::Outcome& out) {
            std::vector<uint8_t> data{r.data.at(0), r.data.at(1)};
            const std::vector<uint8_t> rest = body(r);
            data.insert(data.end(), rest.begin(), rest.end());
            out.messages.push_back({static_cast<uint16_t>(r.commandId + 1), data, 2 * kMs});
        });
    }

    std::unique_ptr<ModuleDouble> double_;
    uint32_t handle = 0;
};

}  // namespace ebd::test
