/* Switches off the Java autostart of the module on a serial port, as the
 * autostart-off tool does, and tells which of the five outcomes it came to.
 *
 *   autostart_off [PORT]     PORT 1 to 32, default 1 (COM1); 0 selects none
 *
 * Exit status, as autostart-off's:
 *   0 Autostart successfully switched off
 *   1 No COM Port selected
 *   2 Cannot connect to Module       (no session, or no service mode)
 *   3 Cannot switchoff autostart
 *   4 Cannot close Module connection (the module did not switch off)
 *
 * Build: cc autostart_off.c $(pkg-config --cflags --libs ebd) */
#include <ebd/ebd.h>
#include <stdio.h>
#include <stdlib.h>

enum Outcome {
    SUCCESS = 0,
    NO_PORT = 1,
    CANNOT_CONNECT = 2,
    CANNOT_SWITCH_OFF_AUTOSTART = 3,
    CANNOT_CLOSE = 4
};

static const char* const kMessages[] = {
    "Autostart successfully switched off", "No COM Port selected",           "Cannot connect to Module",
    "Cannot switchoff autostart",          "Cannot close Module connection",
};

/* The three steps on an open session; the caller closes it on every path. */
static enum Outcome Run(EBDHandle handle) {
    if (WInitServiceMode(handle) != 1) return CANNOT_CONNECT;
    if (WSwitchJavaAutoStart(handle, 0) != 1) return CANNOT_SWITCH_OFF_AUTOSTART;
    if (WSwitchOff(handle) != 1) return CANNOT_CLOSE;
    return SUCCESS;
}

int main(int argc, char** argv) {
    long port = 1;
    EBDHandle handle;
    enum Outcome outcome;
    if (argc > 2) {
        fprintf(stderr, "usage: %s [PORT]\n", argv[0]);
        return 64;
    }
    if (argc == 2) {
        char* end = NULL;
        port = strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || port < 0 || port > 32) {
            fprintf(stderr, "%s: PORT is a number from 0 to 32\n", argv[0]);
            return 64;
        }
    }
    if (port == 0) {
        puts(kMessages[NO_PORT]);
        return NO_PORT;
    }

    WInitLibrary();
    handle = WComOpen((int32_t)port, 115200, 0);
    if (handle == 0) {
        /* The open's reason is the last error of the port it tried. */
        fprintf(stderr, "COM%ld: %s\n", port, WGetErrorText(WGetLastError(EBD_PORT_HANDLE(port))));
        outcome = CANNOT_CONNECT;
    } else {
        outcome = Run(handle);
        if (outcome != SUCCESS)
            fprintf(stderr, "last error %u: %s\n", (unsigned)WGetLastError(handle),
                    WGetErrorText(WGetLastError(handle)));
        WComClose(handle);
    }
    puts(kMessages[outcome]);
    return (int)outcome;
}
