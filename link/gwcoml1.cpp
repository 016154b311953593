// Port access: the bottom of the link stack. Everything above reads and writes
// bytes through these operations only.
#include "link/gwcoml1.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/ebd_core.h"

namespace ebd {

namespace {

constexpr uint32_t kRxQueueBytes = 4096;
constexpr uint32_t kTxQueueBytes = 256;
constexpr uint32_t kLongWaitMs = 1000;
constexpr uint32_t kPollMs = 1;
// Draining pending input stops after this many bytes, so that a module that
// never stops sending cannot hold the caller forever. It is far more than any
// boot message or report a module sends unasked.
constexpr int kMaxPendingBytes = 4096;

platform::Platform& Os() { return platform::current(); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

// Length of the text from `start` up to the end of the bytes or a NUL.
size_t TextLength(const uint8_t* bytes, size_t start, size_t end) {
    size_t n = 0;
    while (start + n < end && bytes[start + n] != 0) ++n;
    return n;
}

void TakeExitRecord(PortEntry& entry, const uint8_t* text, size_t length) {
    // Another session's open may clear every port's records at the same time.
    const std::lock_guard lock(ExitRecordsLock());
    const uint8_t c = entry.exit.count;
    entry.exit.count = static_cast<uint8_t>(c + 1);
    // Only the first three reports after the open are kept; the count goes on
    // counting (and wraps at 256) without ever indexing past the records.
    if (entry.exit.count > 3 || c >= entry.exit.words.size()) return;
    for (size_t j = 0; j < 4 && j < length; ++j) {
        uint32_t word = 0;
        for (size_t k = 0; k < 8; ++k) {
            const size_t pos = 8 * j + k;
            word = (word << 4) | static_cast<uint32_t>(pos < length ? HexDigit(static_cast<char>(text[pos])) : 0);
        }
        entry.exit.words[c][j] = word;
    }
}

}  // namespace

uint32_t TimeoutForClass(uint8_t timeoutClass, int32_t rate) {
    if (rate <= 0) rate = 115200;
    const uint32_t charMicros = 11000000u / static_cast<uint32_t>(rate);
    switch (timeoutClass) {
        case 0:
            return charMicros * 500 / 1000 + 1;
        case 2:
            return kLongWaitMs;
        case 3:
            return kPollMs;
        default:
            return charMicros * 15 / 1000 + 1;
    }
}

uint8_t NomiL1CommsOpen(const char* portName, int32_t baudRate, int32_t rate, platform::PortHandle* portHandle,
                        int port, platform::OpenError* why) {
    platform::OpenError ignored;
    if (why == nullptr) why = &ignored;
    *why = platform::OpenError::None;
    if (portHandle != nullptr) *portHandle = platform::kNoPort;
    // A line cannot run at a rate of zero or below; refuse before touching the
    // device instead of computing nonsense time-outs from it.
    if (portName == nullptr || portHandle == nullptr || baudRate <= 0 || rate <= 0 || port < 1 ||
        port > kMaxPort) {
        *why = platform::OpenError::Other;
        return kLinkNotOpened;
    }
    platform::Platform& os = Os();
    const platform::PortHandle opened = os.openPort(portName, why);
    if (opened == platform::kNoPort) return kLinkNotOpened;

    PortEntry& entry = Port(port);
    entry.totalTimeouts = os.supportsTotalTimeouts(opened);
    platform::LineSettings line;
    os.getLine(opened, &line);
    entry.timeoutMs = {TimeoutForClass(0, rate), TimeoutForClass(1, rate), TimeoutForClass(2, rate)};
    line.baudRate = static_cast<uint32_t>(baudRate);
    line.stopBits = 2;
    line.dtr = false;
    line.rts = true;
    os.setLine(opened, line);  // not checked: a port that refuses shows as silence later

    if (!os.setQueues(opened, kRxQueueBytes, kTxQueueBytes)) {
        // The caller never receives the port, so close it rather than leak it.
        os.closePort(opened);
        *why = platform::OpenError::SetupFailed;
        return kLinkNotOpened;
    }
    *portHandle = opened;
    return kLinkDone;
}

uint8_t SetReadTimeoutClass(uint32_t handle, uint8_t timeoutClass) {
    const platform::PortHandle port = GetPortHandle(handle);
    if (port == platform::kNoPort) return kLinkRefused;
    PortEntry& entry = PortOf(handle);
    if (!entry.totalTimeouts) return kLinkRefused;
    entry.timeoutClass = timeoutClass;
    uint32_t multiplier;
    switch (timeoutClass) {
        case 0:
            multiplier = entry.timeoutMs[0];
            break;
        case 2:
            multiplier = kLongWaitMs;
            break;
        case 3:
            multiplier = kPollMs;
            break;
        default:
            multiplier = entry.timeoutMs[1];
            break;
    }
    return Os().setReadTimeout(port, multiplier) ? kLinkDone : kLinkRefused;
}

uint8_t PortWrite(uint32_t handle, const uint8_t* data, uint16_t count) {
    const platform::PortHandle port = GetPortHandle(handle);
    if (port == platform::kNoPort || (data == nullptr && count > 0)) return kLinkRefused;
    platform::Platform& os = Os();
    // The platform's write drains the port before it returns.
    if (!os.write(port, data, count)) {
        os.clearError(port);
        return kLinkRefused;
    }
    return kLinkDone;
}

uint8_t PortRead(uint32_t handle, uint8_t* buffer, uint8_t count) {
    const platform::PortHandle port = GetPortHandle(handle);
    if (port == platform::kNoPort || buffer == nullptr) return kLinkRefused;
    platform::Platform& os = Os();
    size_t got = 0;
    uint8_t status;
    switch (os.read(port, buffer, count, &got)) {
        case platform::ReadStatus::Complete:
            status = kLinkDone;
            break;
        case platform::ReadStatus::Short:
            status = kLinkTimeout;
            break;
        default:
            status = kLinkRefused;
            os.clearError(port);
            break;
    }
    // A long wait is good for one read only.
    if (PortOf(handle).timeoutClass == 2) SetReadTimeoutClass(handle, 1);
    return status;
}

namespace {
int ChangeLine(uint32_t handle, uint32_t baud, uint8_t stopBits, bool rts, const bool* dtr) {
    const platform::PortHandle port = GetPortHandle(handle);
    if (port == platform::kNoPort) return 0;
    platform::Platform& os = Os();
    platform::LineSettings line;
    if (!os.getLine(port, &line)) return 0;
    line.baudRate = baud;
    line.stopBits = stopBits;
    line.rts = rts;
    if (dtr != nullptr) line.dtr = *dtr;
    return os.setLine(port, line) ? 1 : 0;
}
}  // namespace

int SetLineBootloader(uint32_t handle) { return ChangeLine(handle, 57600, 1, false, nullptr); }

int SetLineRunDtrOn(uint32_t handle) {
    const bool on = true;
    return ChangeLine(handle, 115200, 2, true, &on);
}

int SetLineRunDtrOff(uint32_t handle) {
    const bool off = false;
    return ChangeLine(handle, 115200, 2, true, &off);
}

void SkipBytes(uint32_t handle, const uint8_t* data, uint8_t count) {
    if (!HandleValid(handle) || (data == nullptr && count > 0)) return;
    PortEntry& entry = PortOf(handle);
    if (entry.skipLength + count > kSkipBufferSize) FlushSkipBuffer(handle);
    std::memcpy(entry.skip.data() + entry.skipLength, data, count);
    entry.skipLength = static_cast<uint16_t>(entry.skipLength + count);
}

void FlushSkipBuffer(uint32_t handle) {
    if (!HandleValid(handle)) return;
    PortEntry& entry = PortOf(handle);
    const size_t n = std::min<size_t>(entry.skipLength, kSkipBufferSize);
    const uint8_t* bytes = entry.skip.data();
    Trace(handle, "(EBD ) FlushSkipBuffer: %d bytes skipped", static_cast<int>(n));
    TraceHexBytes(handle, "(EBD ) FlushSkipBuffer ->", bytes, static_cast<int32_t>(n));

    // Text dump, 40 characters a line.
    char line[256];
    int len = std::snprintf(line, sizeof line, "(EBD )   00:    ");
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = bytes[i];
        line[len++] = (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
        line[len] = '\0';
        if ((i + 1) % 40 == 0) {
            TraceLine(handle, line);
            len = std::snprintf(line, sizeof line, "(EBD )   %03d:    ", static_cast<int>(i + 1));
        }
    }
    TraceLine(handle, line);

    // EXIT reports.
    for (size_t e = 0; e + 4 <= n; ++e) {
        if (std::memcmp(bytes + e, "EXIT", 4) != 0) continue;
        const size_t recordStart = e + 5;
        const size_t recordLength = recordStart < n ? TextLength(bytes, recordStart, n) : 0;
        TakeExitRecord(entry, bytes + std::min(recordStart, n), recordLength);

        const char* stars = "(EBD ) *****************************";
        for (int k = 0; k < 3; ++k) TraceLine(handle, stars);
        TraceLine(handle, "(EBD ) FlushSkipBuffer: EXIT String found!");
        TraceLine(handle, stars);
        const std::string text(reinterpret_cast<const char*>(bytes + e), TextLength(bytes, e, n));
        Trace(handle, "(EBD ) >> %s", text.c_str());
        for (int k = 0; k < 3; ++k) TraceLine(handle, stars);
    }
    entry.skipLength = 0;
}

void SkipPendingInput(uint32_t handle) {
    if (GetPortHandle(handle) == platform::kNoPort) return;
    SetReadTimeoutClass(handle, 3);
    uint8_t scratch[16];
    uint8_t held = 0;
    for (int drained = 0; drained < kMaxPendingBytes; ++drained) {
        if (PortRead(handle, scratch + held, 1) != kLinkDone) break;
        if (++held == sizeof scratch) {
            SkipBytes(handle, scratch, held);
            held = 0;
        }
    }
    SkipBytes(handle, scratch, held);
}

}  // namespace ebd
