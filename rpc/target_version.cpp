// Target version gate: before the first remote call of a session, ask the
// module for its version, trace it, and keep the bootloader text and the
// mobile SW version number.
#include <cstring>
#include <string>

#include "core/ebd_core.h"
#include "core/ebd_version.h"
#include "rpc/ebdrpc.h"

namespace ebd {

namespace {

constexpr uint16_t kVersionTextSize = 1024;

// The decimal number behind the last "_" before the first ":" of an item.
int16_t MobileSwVersion(const std::string& item) {
    const size_t colon = item.find(':');
    if (colon == std::string::npos) return 0;
    const size_t underscore = item.rfind('_', colon);
    if (underscore == std::string::npos) return 0;
    uint16_t value = 0;
    for (size_t i = underscore + 1; i < colon && item[i] >= '0' && item[i] <= '9'; ++i)
        value = static_cast<uint16_t>(value * 10 + (item[i] - '0'));
    return static_cast<int16_t>(value);
}

}  // namespace

void GetTargetVersion(uint32_t handle) {
    PortEntry& entry = PortOf(handle);
    if (entry.gotTargetVersion != 0) return;
    entry.gotTargetVersion = 1;
    TraceLine(handle, "(EBD ) Get target version information at first...");
    uint32_t hardware = 0;
    uint32_t rpcVersion = 0;
    char text[kVersionTextSize] = {};
    const uint16_t error = EBDRPCGetVersion(handle, &hardware, &rpcVersion, text, kVersionTextSize);
    if (error != 0) {
        entry.lastError = error;
        Trace(handle, "(EBD ) GetTargetVersion: EBDRPCGetVersion fails with error %d", error);
        entry.gotTargetVersion = 0;
        return;
    }
    const std::string version(text);
    const size_t bootloader = version.find("Bln-Bootloader");
    if (bootloader != std::string::npos) {
        const size_t end = version.find('&', bootloader);
        const std::string item = version.substr(bootloader, end == std::string::npos ? std::string::npos
                                                                                      : end - bootloader);
        entry.bootloaderText.fill(0);
        std::memcpy(entry.bootloaderText.data(), item.data(), std::min<size_t>(item.size(), 24));
    } else {
        TraceLine(handle, "(EBD) Bootloader info not found");
    }
    Trace(handle, "(EBD ) Host  : EBD %04x.%04x", kLibraryVersionMajor, kLibraryVersionMinor);
    Trace(handle, "(EBD ) Host  : RPC %04x.%04x", kHostRpcVersionMajor, kHostRpcVersionMinor);
    Trace(handle, "(EBD ) Target: RPC %04x.%04x", rpcVersion >> 16, rpcVersion & 0xFFFF);
    Trace(handle, "(EBD ) Target: HW  %08x", hardware);

    VersionText rendered;
    size_t start = 0;
    bool first = true;
    for (size_t amp = version.find('&'); amp != std::string::npos; amp = version.find('&', start)) {
        const std::string item = version.substr(start, amp - start);
        if (first) entry.mobileSwVersion = MobileSwVersion(item);
        first = false;
        Trace(handle, "%s", TargetVersionText(item.c_str(), rendered));
        start = amp + 1;
    }
    Trace(handle, "%s", TargetVersionText(version.substr(start).c_str(), rendered));
    if (entry.mobileSwVersion != 0)
        Trace(handle, "(EBD ) GetTargetVersion: SW version number evaluated to %d", entry.mobileSwVersion);
}

}  // namespace ebd
