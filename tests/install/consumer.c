/* A program of a library user's own, built against an installed tree: once
 * through pkg-config, once through find_package(ebd). scripts/test-install.sh
 * builds and runs both.
 *
 *   consumer settings     a call that needs no module: the settings round trip
 *                         through the file EBD_SETTINGS_FILE names
 *   consumer session N    one session with the module on COM<N>: service mode,
 *                         autostart off, switch-off, close
 *
 * Exits 0 when every call gave what it should, else 1 with the reason. */
#include <ebd/ebd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned traceLines = 0;

static int32_t CountTraceLine(uint32_t traceHandle, const char* line) {
    (void)traceHandle;
    if (line != NULL && line[0] != '\0') ++traceLines;
    return 0;
}

static int Settings(void) {
    uint8_t port = 0;
    uint32_t baudRate = 0;
    /* Never the machine's own settings file. */
    if (getenv("EBD_SETTINGS_FILE") == NULL) {
        fprintf(stderr, "consumer: EBD_SETTINGS_FILE is not set\n");
        return 1;
    }
    if (SaveLibrarySettings(3, 57600) != 1) {
        fprintf(stderr, "consumer: SaveLibrarySettings failed\n");
        return 1;
    }
    /* The load reads the port only; the baud rate is always the default. */
    if (LoadLibrarySettings(&port, &baudRate) != 1 || port != 3 || baudRate != 115200) {
        fprintf(stderr, "consumer: LoadLibrarySettings gave port %u, baud rate %lu\n", (unsigned)port,
                (unsigned long)baudRate);
        return 1;
    }
    /* Port numbers above 32 have no session. */
    WInitLibrary();
    if (WComOpen(33, 115200, 0) != 0) {
        fprintf(stderr, "consumer: WComOpen(33) gave a session\n");
        return 1;
    }
    printf("settings: port %u, baud rate %lu\n", (unsigned)port, (unsigned long)baudRate);
    return 0;
}

static int Fail(const char* operation, EBDHandle handle) {
    fprintf(stderr, "consumer: %s failed, last error %u\n", operation, (unsigned)WGetLastError(handle));
    return 1;
}

static int Session(int32_t port) {
    EBDHandle handle;
    WInitLibrary();
    WSetTraceCallback(CountTraceLine);
    handle = WComOpen(port, 115200, 1);
    if (handle == 0) {
        fprintf(stderr, "consumer: WComOpen(%ld) failed\n", (long)port);
        return 1;
    }
    if (WInitServiceMode(handle) != 1) return Fail("WInitServiceMode", handle);
    if (WSwitchJavaAutoStart(handle, 0) != 1) return Fail("WSwitchJavaAutoStart", handle);
    if (WSwitchOff(handle) != 1) return Fail("WSwitchOff", handle);
    if (WComClose(handle) != 1) return Fail("WComClose", handle);
    WSetTraceCallback(NULL);
    if (traceLines == 0) {
        fprintf(stderr, "consumer: the session told nothing through the trace callback\n");
        return 1;
    }
    printf("session on COM%ld: autostart off, module switched off, %u trace lines\n", (long)port, traceLines);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "settings") == 0) return Settings();
    if (argc == 3 && strcmp(argv[1], "session") == 0) return Session((int32_t)atoi(argv[2]));
    fprintf(stderr, "usage: consumer settings | consumer session PORT\n");
    return 2;
}
