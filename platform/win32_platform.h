// The Win32 platform's tables, for the Windows tests: the device-control
// record and the five time-out fields as the platform fills them.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace ebd::platform {

// The line settings of the protocol put into `dcb`, field by field; the
// fields the protocol does not name keep what `dcb` held.
void PutLineSettings(DCB& dcb, const LineSettings& line);

// The five time-out fields for a read-total multiplier of `msPerByte` ms.
COMMTIMEOUTS TimeoutsFor(DWORD msPerByte);

}  // namespace ebd::platform
