/* lib/ebd.h from a plain C compiler, linked against the shared library (the
 * import library of libebd.dll on Windows): the types and declarations are C,
 * and the library answers through them. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "lib/ebd.h"

static int32_t Callback(uint32_t traceHandle, const char* line) {
    (void)traceHandle;
    (void)line;
    return 0;
}

int main(void) {
    EBDHandle none = 0;
    uint32_t baudRate = 0;
    EBDTraceCallback callback = &Callback;

    WSetTraceCallback(callback);
    WInitLibrary();
    if (WGetLastError(none) != 10) {
        puts("WGetLastError(0) is not 10");
        return 1;
    }
    /* No port has the number 33: no session, and nothing is opened. */
    if (WComOpen(33, 115200, 0) != 0) {
        puts("WComOpen(33, ...) opened a session");
        return 1;
    }
    if (WSwitchOff(none) != 0 || LoadLibrarySettings(NULL, &baudRate) != 0) {
        puts("an operation without a session or output succeeded");
        return 1;
    }
    /* The release version needs no module, and is the project's version. */
    if (WGetLibraryVersion() == NULL || strcmp(WGetLibraryVersion(), EBD_EXPECTED_VERSION) != 0) {
        printf("WGetLibraryVersion() is not %s\n", EBD_EXPECTED_VERSION);
        return 1;
    }
    WSetTraceCallback(NULL);
    puts("ebd.h works from C");
    return 0;
}
