// Basic types of the library: the session handle and its check pattern.
#pragma once

#include <cstdint>

namespace ebd {

inline constexpr uint32_t kHandlePattern = 0xEBD00EBD;
inline constexpr uint32_t kHandleMask = 0xFFF00FFF;
inline constexpr int kMaxPort = 32;

// The pattern alone makes a handle well formed.
constexpr bool HandlePatternOk(uint32_t handle) { return (handle & kHandleMask) == kHandlePattern; }
constexpr int PortOfHandle(uint32_t handle) { return static_cast<int>((handle >> 12) & 0xFF); }
constexpr uint32_t MakeHandle(int port) { return (static_cast<uint32_t>(port) << 12) | kHandlePattern; }

// A handle the library can act on: the pattern matches and the port number it
// carries names an entry of the port table. The pattern leaves room for port
// numbers 0 and 33 to 255, which have no entry; such handles are refused like
// any other invalid handle instead of reaching past the table.
constexpr bool HandleValid(uint32_t handle) {
    return HandlePatternOk(handle) && PortOfHandle(handle) >= 1 && PortOfHandle(handle) <= kMaxPort;
}

}  // namespace ebd
