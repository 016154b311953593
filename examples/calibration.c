/* Calibration values filed in the library's calibration store, written back
 * into the module's NVRAM in one go, and one item read back to see that it
 * arrived; the session's trace is collected through the trace callback and
 * summed up at the end.
 *
 *   calibration [PORT]   PORT 1 to 32, default 1 (COM1)
 *
 * Exit status: 0 when the values were written and the AFC item reads back as
 * stored, 1 otherwise, 64 for a bad argument.
 *
 * Build: cc calibration.c $(pkg-config --cflags --libs ebd) */
#include <ebd/ebd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The trace of the session: every line counted, those that report a failure
 * or a stored value kept (up to a bound), the last line kept for the end. */
enum { KEPT_LINES = 32, LINE_SIZE = 256 };
static struct {
    unsigned count;
    unsigned kept;
    char lines[KEPT_LINES][LINE_SIZE];
    char last[LINE_SIZE];
} trace;

static int32_t CollectTrace(uint32_t traceHandle, const char* line) {
    (void)traceHandle;
    ++trace.count;
    strncpy(trace.last, line, LINE_SIZE - 1);
    if (trace.kept < KEPT_LINES &&
        (strstr(line, "fails") != NULL || strstr(line, "storedCalibrationItems now") != NULL)) {
        strncpy(trace.lines[trace.kept], line, LINE_SIZE - 1);
        ++trace.kept;
    }
    return 0;
}

static int Failed(EBDHandle handle, const char* operation) {
    const uint16_t code = WGetLastError(handle);
    fprintf(stderr, "%s failed: error %u, %s\n", operation, (unsigned)code, WGetErrorText(code));
    return 1;
}

static void Put32(uint8_t* at, uint32_t value) {
    int i;
    for (i = 0; i < 4; ++i) at[i] = (uint8_t)(value >> (8 * i));
}

/* The calibration run on an open session; the caller closes it on every path. */
static int Calibrate(EBDHandle handle) {
    const uint32_t slope = 258;
    const uint16_t nominal = 128;
    uint16_t points[3] = {2, 4, 15};
    const uint16_t gainWord[2] = {0x0412, 0x0420};
    const int16_t rssi[2] = {-1200, -900};
    uint16_t gainWords[26];
    int16_t rssiTable[26];
    uint8_t expected[16];
    uint8_t afc[64];
    uint16_t length = 0;

    if (WInitServiceMode(handle) != 1) return Failed(handle, "WInitServiceMode");

    /* A receiver gain table from two measured points, filed for band 0. */
    WGetGwIndexArray(handle, 0, points);
    WSendGwRssiMPoints(handle, gainWord, rssi, gainWords, rssiTable);
    if (WOrreryStoreCalibrationDataAGCGainWords(handle, 0, gainWords) != 1)
        return Failed(handle, "WOrreryStoreCalibrationDataAGCGainWords");
    if (WOrreryStoreCalibrationDataAFC(handle, slope, nominal) != 1)
        return Failed(handle, "WOrreryStoreCalibrationDataAFC");
    if (WOrreryStoreCalibrationDataTxDacOffsets(handle, 0, 0, 0x0123) != 1)
        return Failed(handle, "WOrreryStoreCalibrationDataTxDacOffsets");
    /* A band the store does not know: refused with its code, nothing filed. */
    if (WOrreryStoreCalibrationDataAMLoopOffsets(handle, 7, 20) != 0) {
        fputs("band 7 was accepted\n", stderr);
        return 1;
    }
    printf("band 7 refused: %s\n", WGetErrorText(WGetLastError(handle)));

    /* Everything filed goes to the module's NVRAM; the module's other
     * calibration items are kept. */
    if (WWriteAllStoredValuesToModuleNVRAM(handle, 0) != 1)
        return Failed(handle, "WWriteAllStoredValuesToModuleNVRAM");

    /* The AFC item as the module now holds it. */
    memset(expected, 0, sizeof expected);
    Put32(expected, 381023u);
    Put32(expected + 4, slope);
    expected[8] = (uint8_t)nominal;
    expected[9] = (uint8_t)(nominal >> 8);
    expected[12] = 0xFF;
    expected[13] = 0x1F;
    if (WReadNVRAMCalibrationItem(handle, 2, afc, (uint16_t)sizeof afc, &length) != 1)
        return Failed(handle, "WReadNVRAMCalibrationItem");
    if (length != sizeof expected || memcmp(afc, expected, sizeof expected) != 0) {
        fprintf(stderr, "the AFC item reads back with %u bytes, not as stored\n", (unsigned)length);
        return 1;
    }
    puts("calibration written; the AFC item reads back as stored");
    return 0;
}

int main(int argc, char** argv) {
    long port = 1;
    EBDHandle handle;
    int status;
    unsigned i;
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
    /* A non-zero trace handle sends the session's lines to the callback. */
    WSetTraceCallback(CollectTrace);
    handle = WComOpen((int32_t)port, 115200, 0x0CA1);
    if (handle == 0) {
        status = Failed(EBD_PORT_HANDLE(port), "WComOpen");
    } else {
        status = Calibrate(handle);
        WComClose(handle);
    }
    WSetTraceCallback(NULL);

    printf("trace: %u lines, among them:\n", trace.count);
    for (i = 0; i < trace.kept; ++i) printf("  %s\n", trace.lines[i]);
    printf("  last: %s\n", trace.last);
    return status;
}
