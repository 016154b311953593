// Version constants of the library and the revision texts of its source files,
// which WComOpen shows in its trace header.
#pragma once

#include <array>
#include <cstdint>

namespace ebd {

inline constexpr uint16_t kLibraryVersionMajor = 1;
inline constexpr uint16_t kLibraryVersionMinor = 0x3000;
inline constexpr uint16_t kHostRpcVersionMajor = 1;
inline constexpr uint16_t kHostRpcVersionMinor = 0;

// The library core and its four headers, the message layer and its header, the
// two message-definition headers, the remote-call layer and its header, the
// error header, then port access, frames and queue, each with its header.
extern const std::array<const char*, 18> kRevisionTexts;

// The developer branch label that version texts may carry besides main and dev01.
inline constexpr const char* kDeveloperBranch = "ebd_dev";

}  // namespace ebd
