// The Windows side of the port diagnosis: what an open's error code tells the
// user (port_diagnosis_win32.cpp).
#pragma once

#include <string>

#include "app/port_diagnosis.h"

namespace ebd::app {

// The diagnosis of a trial open of `device` that failed with the system error
// `error` (GetLastError).
PortDiagnosis DiagnoseOpenError(const std::string& device, unsigned long error);

// The system's message for `error`, on one line, with its number.
std::string SystemErrorText(unsigned long error);

}  // namespace ebd::app
