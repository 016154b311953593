// The bootloader text that the version gate of the session's first remote call
// kept for the port.
#include <cstring>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"

using namespace ebd;

extern "C" int32_t WGetBootloaderInfo(EBDHandle handle, char* text) {
    if (text == nullptr) return 0;
    if (!HandleValid(handle) || PortOf(handle).gotTargetVersion == 0) {
        std::memset(text, 0, 25);
        return 0;
    }
    std::memcpy(text, PortOf(handle).bootloaderText.data(), 25);
    return 1;
}
