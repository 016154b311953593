/* A user item in the module's NVRAM written, read back, compared and
 * deleted; every failure is told with its error text (WGetErrorText).
 *
 *   nvram_user_item [PORT]   PORT 1 to 32, default 1 (COM1)
 *
 * Exit status: 0 when the item came back as written and was deleted again,
 * 1 when an operation failed or the item came back different, 64 for a bad
 * argument.
 *
 * Build: cc nvram_user_item.c $(pkg-config --cflags --libs ebd) */
#include <ebd/ebd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { USER_ID = 0x00EB0001u, KEY = 7 };

static int Failed(EBDHandle handle, const char* operation) {
    const uint16_t code = WGetLastError(handle);
    fprintf(stderr, "%s failed: error %u, %s\n", operation, (unsigned)code, WGetErrorText(code));
    return 1;
}

/* The round trip on an open session; the caller closes it on every path. */
static int RoundTrip(EBDHandle handle) {
    static const uint8_t written[] = "station 7, bench 3, calibrated";
    uint8_t read[64];
    uint16_t length = 0;

    if (WInitServiceMode(handle) != 1) return Failed(handle, "WInitServiceMode");
    if (WWriteNVRAMUserItem(handle, USER_ID, KEY, written, (uint16_t)sizeof written) != 1)
        return Failed(handle, "WWriteNVRAMUserItem");
    memset(read, 0, sizeof read);
    if (WReadNVRAMUserItem(handle, USER_ID, KEY, read, (uint16_t)sizeof read, &length) != 1)
        return Failed(handle, "WReadNVRAMUserItem");
    /* The module reports the item's whole length; at most sizeof read bytes came. */
    if (length != sizeof written || memcmp(read, written, sizeof written) != 0) {
        fprintf(stderr, "the item came back with %u bytes, not as written\n", (unsigned)length);
        return 1;
    }
    printf("user item 0x%08lx/%u: %u bytes read back: %s\n", (unsigned long)USER_ID, (unsigned)KEY,
           (unsigned)length, (const char*)read);
    if (WDeleteNVRAMUserItem(handle, USER_ID, KEY) != 1) return Failed(handle, "WDeleteNVRAMUserItem");
    puts("user item deleted");
    return 0;
}

int main(int argc, char** argv) {
    long port = 1;
    EBDHandle handle;
    int status;
    if (argc == 2) {
        char* end = NULL;
        port = strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || port < 1 || port > 32) {
            fprintf(stderr, "%s: PORT is a number from 1 to 32\n", argv[0]);
            return 64;
        }
    } else if (argc > 2) {
        fprintf(stderr, "usage: %s [PORT]\n", argv[0]);
        return 64;
    }

    WInitLibrary();
    handle = WComOpen((int32_t)port, 115200, 0);
    if (handle == 0) return Failed(EBD_PORT_HANDLE(port), "WComOpen");
    status = RoundTrip(handle);
    WComClose(handle);
    return status;
}
