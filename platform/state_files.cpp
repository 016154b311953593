// What the state directory's two implementations share.
#include "platform/state_files.h"

#include <cstdlib>

namespace ebd::platform {

std::string stateDirectory() {
    const char* dir = std::getenv("EBD_STATE_DIR");
    if (dir != nullptr && dir[0] != '\0') return dir;
    return defaultStateDirectory();
}

bool isPlainStateName(const std::string& name) {
    if (name.empty() || name.size() > 200 || name[0] == '.') return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-' || c == '_';
        if (!plain) return false;
    }
    return true;
}

}  // namespace ebd::platform
