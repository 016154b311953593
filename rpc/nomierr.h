// Error codes of the remote calls.
#pragma once

#include <cstdint>

namespace ebd {

inline constexpr uint16_t kRpcOk = 0;
inline constexpr uint16_t kRpcNotSent = 1;
inline constexpr uint16_t kRpcNoConfirm = 2;
inline constexpr uint16_t kRpcBadReference = 4;
inline constexpr uint16_t kRpcStatusFailed = 5;
inline constexpr uint16_t kRpcBadCheckStatus = 6;
inline constexpr uint16_t kRpcNoMemory = 9;
inline constexpr uint16_t kRpcIdentityBase = 700;

}  // namespace ebd
