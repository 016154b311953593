// The library's own types: serial and operation modes, and the library error
// codes stored as a port's last error. The types the layers below share are
// the session core's (core/ebd_types.h).
#pragma once

#include <cstdint>

#include "core/ebd_types.h"

namespace ebd {

// Serial mode of the module's port, one bit per outcome.
enum TargetSerialMode : uint8_t {
    SerialModeNone = 1,
    SerialModeAt = 2,
    SerialModeNomi = 4,
    SerialModeError = 8,
};

enum OperationMode : uint8_t {
    OperationModeNormal = 0,
    OperationModeService = 1,
    OperationModeTest = 2,
    OperationModeAirplane = 4,
};

// Library error codes stored as a port's last error (remote-call codes are in
// rpc/nomierr.h).
inline constexpr uint16_t kErrPortInUse = 3;
inline constexpr uint16_t kErrPortOpen = 4;
inline constexpr uint16_t kErrInvalidHandle = 10;

}  // namespace ebd
