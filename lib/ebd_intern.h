// Internal interface of the library: the ending of the public operations,
// detection, boot and operation modes. The port table, the time base and the
// trace log are the session core's (core/ebd_core.h).
#pragma once

#include <cstdint>

#include "core/ebd_core.h"
#include "lib/ebd_types.h"

namespace ebd {

// ---- The ending of a public operation around one remote call ------------------
// A failure's code becomes the port's last error and is traced as
// "(EBD ) <operation>: <callName> fails with error <code>"; success is traced as
// "(EBD ) <operation>: O.K.". Results are the operation's: 0 and 1. Every
// failure that stores a code ends through Fail (core/ebd_core.h), these too.
int32_t CallFailed(uint32_t handle, const char* operation, const char* callName, uint16_t error);
int32_t CallDone(uint32_t handle, const char* operation);
int32_t FinishCall(uint32_t handle, const char* operation, const char* callName, uint16_t error);

// ---- Serial-mode detection -----------------------------------------------
bool GetResponse(uint32_t handle, uint8_t* buffer, uint8_t length);
void SkipResponse(uint32_t handle, const uint8_t* buffer, uint8_t length);
bool CheckResponse(uint32_t handle, uint8_t* buffer, const uint8_t* expected, uint8_t length);
uint8_t GetTargetSerialMode(uint32_t handle);
bool WaitForTargetSerialMode(uint32_t handle, uint8_t mask);
bool WaitForTargetSerialModeOtherThan(uint32_t handle, uint8_t mask);

// ---- Module boot and switch to NOMI ------------------------------------------
bool ModuleBootServiceMode(uint32_t handle);
bool ModuleBootNormalMode(uint32_t handle);
bool SwitchSerialToNOMIMode(uint32_t handle, uint8_t serviceMode);

// ---- Operation modes -----------------------------------------------------
int SwitchTargetToOperationMode(uint32_t handle, uint8_t operationMode);

}  // namespace ebd
