// The settings store on Linux: a machine-wide settings file (see
// settings_file.cpp for its format).
#pragma once

#include "platform/platform.h"

namespace ebd::platform {

// The store kept in /etc/ebd/settings.conf, or in the file that the
// environment variable EBD_SETTINGS_FILE names (read at every access).
SettingsStore& fileSettingsStore();

// The path of that file, as it is at this moment.
std::string settingsFilePath();

}  // namespace ebd::platform
