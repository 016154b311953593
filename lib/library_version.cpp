// WGetLibraryVersion: the release version the library was built as, which the
// build takes from the project's one version (CMakeLists.txt).
#include "lib/ebd.h"

#ifndef EBD_LIBRARY_VERSION
#error "EBD_LIBRARY_VERSION must name the release version"
#endif

extern "C" const char* WGetLibraryVersion(void) {
    return EBD_LIBRARY_VERSION;
}
