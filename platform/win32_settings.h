// The settings store on Windows: the registry below the root of the current
// hardware profile (HKEY_CURRENT_CONFIG), so the values hold for the machine.
#pragma once

#include "platform/platform.h"

namespace ebd::platform {

SettingsStore& registrySettingsStore();

}  // namespace ebd::platform
