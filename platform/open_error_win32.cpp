// What a failed open of a port means, by the error GetLastError gave. The
// platform's open and the tools' diagnosis of a port share it.
#include <windows.h>

#include "platform/platform.h"

namespace ebd::platform {

OpenError openErrorFor(unsigned long systemError) {
    switch (systemError) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST:
            return OpenError::NoDevice;
        // Windows answers "access denied" when another program holds the
        // port: a COM port has no permissions of its own to refuse.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return OpenError::Busy;
        default:
            return OpenError::Other;
    }
}

}  // namespace ebd::platform
