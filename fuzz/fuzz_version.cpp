// The version text of the version gate: item splitting, the mobile SW number,
// the bootloader item and the escaped trace rendering.
#include <string>

#include "fuzz_peer.h"
#include "rpc/ebdrpc.h"
#include "sim/module_double.h"

namespace {
int32_t Sink(uint32_t, const char*) { return 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ebd;
    sim::ModuleDouble::Settings settings;
    settings.start = sim::ModuleDouble::State::Nomi;
    sim::Firmware::Config config;
    config.versionText.assign(reinterpret_cast<const char*>(data), std::min<size_t>(size, 1400));
    sim::ModuleDouble module(settings, config);
    platform::SimPlatform sim;
    platform::install(&sim);
    sim.attach("COM1", &module);
    WInitLibrary();
    WSetTraceCallback(&Sink);  // so that every trace line is formatted
    const uint32_t handle = WComOpen(1, 115200, 1);
    if (handle != 0) {
        uint8_t mode = 0;
        EBDRPCGetCurrentOperationMode(handle, &mode);
        char text[25];
        WGetBootloaderInfo(handle, text);
        WComClose(handle);
    }
    WSetTraceCallback(nullptr);
    platform::install(nullptr);
    return 0;
}
