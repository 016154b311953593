// Error codes of the remote calls, by their names in this layer; the values
// are the library's one table of last-error codes (lib/ebd_errors.h).
#pragma once

#include <cstdint>

#include "lib/ebd_errors.h"

namespace ebd {

inline constexpr uint16_t kRpcOk = EBD_OK;
inline constexpr uint16_t kRpcNotSent = EBD_ERR_NOT_SENT;
inline constexpr uint16_t kRpcNoConfirm = EBD_ERR_NO_CONFIRM;
inline constexpr uint16_t kRpcBadReference = EBD_ERR_BAD_REFERENCE;
inline constexpr uint16_t kRpcStatusFailed = EBD_ERR_STATUS;
inline constexpr uint16_t kRpcBadCheckStatus = EBD_ERR_CHECK_STATUS;
inline constexpr uint16_t kRpcNoMemory = EBD_ERR_NO_MEMORY;
inline constexpr uint16_t kRpcIdentityBase = EBD_ERR_IDENTITY_BASE;

}  // namespace ebd
