// The common ending of the public operations that wrap one remote call.
#include "lib/ebd_intern.h"

namespace ebd {

int32_t CallFailed(uint32_t handle, const char* operation, const char* callName, uint16_t error) {
    return Fail(handle, error, "(EBD ) %s: %s fails with error %d", operation, callName, error);
}

int32_t CallDone(uint32_t handle, const char* operation) {
    Trace(handle, "(EBD ) %s: O.K.", operation);
    return 1;
}

int32_t FinishCall(uint32_t handle, const char* operation, const char* callName, uint16_t error) {
    return error != 0 ? CallFailed(handle, operation, callName, error) : CallDone(handle, operation);
}

}  // namespace ebd
