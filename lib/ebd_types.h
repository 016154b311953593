// The library's own types: serial and operation modes. The types the layers
// below share are the session core's (core/ebd_types.h).
#pragma once

#include <cstdint>

#include "core/ebd_types.h"
#include "lib/ebd_errors.h"

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

// The last-error codes are the enumerators of lib/ebd_errors.h, used by name.

}  // namespace ebd
