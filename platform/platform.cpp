// The process-wide platform pointer.
#include "platform/platform.h"

#include <atomic>

namespace ebd::platform {

namespace {

// nullptr stands for the real implementation.
std::atomic<Platform*> g_installed{nullptr};

}  // namespace

Platform& current() {
    Platform* installed = g_installed.load(std::memory_order_acquire);
    return installed != nullptr ? *installed : native();
}

void install(Platform* platform) {
    g_installed.store(platform, std::memory_order_release);
}

}  // namespace ebd::platform
