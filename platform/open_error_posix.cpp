// What a failed open of a port means, by the errno it failed with. The
// platform's open and the tools' diagnosis of a port share it.
#include <cerrno>

#include "platform/platform.h"

namespace ebd::platform {

OpenError openErrorFor(unsigned long systemError) {
    switch (systemError) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return OpenError::NoDevice;
        case EACCES:
        case EPERM:
        case EROFS:
            return OpenError::Permission;
        case EBUSY:
            return OpenError::Busy;
        case EISDIR:
            return OpenError::NotTerminal;
        default:
            return OpenError::Other;
    }
}

}  // namespace ebd::platform
