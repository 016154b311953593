// Trace log: carries trace lines to the host's callback or to the trace file,
// dumps blocks of bytes and words, and renders revision and version texts.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "core/ebd_core.h"
#include "core/ebd_version.h"

namespace ebd {

namespace {

// The switch and the callback are set while no operation runs, but read by
// every session's thread.
std::atomic<bool> g_traceFile{false};
std::atomic<TraceCallback> g_callback{nullptr};
// Lines of sessions on different threads reach the file one whole line after
// another.
std::mutex g_fileLock;

// Appends formatted text to a 256-byte line without ever running past it.
void Append(char* line, size_t& len, const char* format, unsigned value) {
    if (len >= 255) return;
    const int n = std::snprintf(line + len, 256 - len, format, value);
    if (n > 0) len = std::min<size_t>(255, len + static_cast<size_t>(n));
}

template <typename Item>
void TraceHex(uint32_t handle, const char* title, const void* data, int32_t count, const char* itemFormat,
              int perLine) {
    if (!HandleValid(handle) || !TraceWanted(handle)) return;
    TraceLine(handle, title != nullptr ? title : "");
    if (data == nullptr || count < 0) count = 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    char line[256];
    size_t len = 0;
    line[0] = '\0';
    Append(line, len, "(EBD )   %02u:    ", 0);
    for (int32_t i = 0; i < count; ++i) {
        // Items are read byte by byte, little-endian, so that no alignment is assumed.
        unsigned value = 0;
        for (size_t b = 0; b < sizeof(Item); ++b)
            value |= static_cast<unsigned>(bytes[static_cast<size_t>(i) * sizeof(Item) + b]) << (8 * b);
        Append(line, len, itemFormat, value);
        if ((i + 1) % perLine == 0) {
            TraceLine(handle, line);
            len = 0;
            line[0] = '\0';
            Append(line, len, "(EBD )   %02u:    ", static_cast<unsigned>(i + 1));
        }
    }
    TraceLine(handle, line);
}

bool EndsWith(const char* text, size_t len, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return len >= n && std::memcmp(text + len - n, suffix, n) == 0;
}

}  // namespace

void SetTraceFile(bool on) {
    g_traceFile.store(on, std::memory_order_relaxed);
}

void SetTraceCallback(TraceCallback callback) {
    g_callback.store(callback);
}

bool TraceWanted(uint32_t handle) {
    if (!HandleValid(handle)) return false;
    if (PortOf(handle).traceHandle != 0 && g_callback.load() != nullptr) return true;
    return g_traceFile.load(std::memory_order_relaxed);
}

void TraceLine(uint32_t handle, const char* line) {
    if (!HandleValid(handle) || line == nullptr) return;
    TraceToRoute(PortOf(handle).traceHandle, line);
}

void TraceFormatted(uint32_t handle, const char* format, va_list args) {
    // Lines nobody reads are not formatted.
    if (!TraceWanted(handle)) return;
    char line[256];
    std::vsnprintf(line, sizeof line, format, args);
    TraceLine(handle, line);
}

void Trace(uint32_t handle, const char* format, ...) {
    va_list args;
    va_start(args, format);
    TraceFormatted(handle, format, args);
    va_end(args);
}

void TraceToRoute(uint32_t traceHandle, const char* line) {
    if (line == nullptr) return;
    // The callback may run on several threads at once, each with a whole line.
    const TraceCallback callback = g_callback.load();
    if (traceHandle != 0 && callback != nullptr) {
        callback(traceHandle, line);
        return;
    }
    WriteTraceFile(line);
}

void WriteTraceFile(const char* line) {
    if (!g_traceFile.load(std::memory_order_relaxed) || line == nullptr) return;
    const uint64_t now = platform::current().counter();
    const TimeBase& time = Time();
    const uint64_t elapsed =
        now >= time.startCount ? now - time.startCount : now + (UINT64_MAX - time.startCount);
    const auto ms = static_cast<uint32_t>(elapsed / (time.ticksPerMs == 0 ? 1 : time.ticksPerMs));
    // The whole file line is formatted first and then appended with one write:
    // "[" 7 digits "." 3 digits "] ", the line of at most 255 characters, "\n".
    // A longer line handed over by a caller is written whole all the same.
    char fileLine[288];
    std::string longLine;
    const int length =
        std::snprintf(fileLine, sizeof fileLine, "[%04u.%03u] %s\n", ms / 1000, ms % 1000, line);
    if (length <= 0) return;
    const char* text = fileLine;
    if (static_cast<size_t>(length) >= sizeof fileLine) {
        longLine.resize(static_cast<size_t>(length) + 1);
        std::snprintf(longLine.data(), longLine.size(), "[%04u.%03u] %s\n", ms / 1000, ms % 1000, line);
        text = longLine.data();
    }
    // Each line opens and closes the file, so that it is complete on disk when
    // the call returns and other programs may read the file meanwhile.
    const std::lock_guard lock(g_fileLock);
    // A line that cannot be written is lost; the caller is not affected.
    platform::appendToFile(platform::kTraceDirectory, platform::kTraceFileName, text,
                           static_cast<size_t>(length));
}

void TraceHexBytes(uint32_t handle, const char* title, const void* data, int32_t count) {
    TraceHex<uint8_t>(handle, title, data, count, "0x%02x ", 8);
}

void TraceHexWords(uint32_t handle, const char* title, const void* data, int32_t count) {
    TraceHex<uint16_t>(handle, title, data, count, "0x%04x ", 4);
}

void TraceHexDwords(uint32_t handle, const char* title, const void* data, int32_t count) {
    TraceHex<uint32_t>(handle, title, data, count, "0x%08x ", 4);
}

const char* CondenseRevisionText(const char* revisionText, VersionText& area) {
    char* condensed = area.data();
    size_t len = 0;
    condensed[0] = '\0';
    if (revisionText == nullptr) return condensed;
    auto put = [&](const char* from, const char* to) {
        while (from < to && len < 255) condensed[len++] = *from++;
        condensed[len] = '\0';
    };
    const char* end = revisionText + std::strlen(revisionText);
    const char* firstKeyword = std::strstr(revisionText, "$YK");
    if (firstKeyword == nullptr) firstKeyword = end;
    // The file name: behind the last backslash of the path.
    const char* name = revisionText;
    for (const char* p = revisionText; p < firstKeyword; ++p)
        if (*p == '\\') name = p + 1;
    put(name, firstKeyword);
    // Each keyword's value, without the keyword's name.
    for (const char* keyword = firstKeyword; keyword < end;) {
        const char* next = std::strstr(keyword + 3, "$YK");
        if (next == nullptr) next = end;
        const char* colon =
            static_cast<const char*>(std::memchr(keyword, ':', static_cast<size_t>(next - keyword)));
        if (colon != nullptr) put(colon + 1, next);
        keyword = next;
    }
    return condensed;
}

const char* EscapeVersionText(const char* text, const char* prefix, VersionText& area) {
    char* out = area.data();
    size_t len = 0;
    out[0] = '\0';
    auto put = [&](const char* s) {
        while (*s != '\0' && len < 255) out[len++] = *s++;
        out[len] = '\0';
    };
    auto putChar = [&](char c) {
        if (len < 255) out[len++] = c;
        out[len] = '\0';
    };
    if (prefix != nullptr) put(prefix);
    if (text == nullptr) return out;
    for (size_t i = 0; text[i] != '\0' && len < 255; ++i) {
        const char c = text[i];
        if (!EndsWith(out, len, "main") && !EndsWith(out, len, "dev01") &&
            !EndsWith(out, len, kDeveloperBranch)) {
            putChar(c);
            continue;
        }
        if (c == '/') {
            putChar(c);
            continue;
        }
        // A backslash pair that the source turned into a control character.
        putChar('\\');
        const char next = text[i + 1];
        if (next == ' ' || (next >= '0' && next <= '9')) {
            if (c == '8' && next == ' ') {
                put("{8,70}");
            } else if (c == '9' && next == ' ') {
                put("{9,71}");
            } else if (c == '8' || c == '9') {
                putChar(c);
            } else {
                char octal[8];
                std::snprintf(octal, sizeof octal, "%o",
                              static_cast<unsigned>(static_cast<unsigned char>(c)));
                put(octal);
            }
        } else if (c == '\r') {
            putChar('r');
        } else if (c == '\t') {
            putChar('t');
        } else if (c == '\n') {
            putChar('n');
        } else {
            putChar(c);
        }
    }
    return out;
}

const char* HostVersionText(const char* revisionText, VersionText& area) {
    VersionText condensed;
    return EscapeVersionText(CondenseRevisionText(revisionText, condensed), "(EBDV) Host: ", area);
}

const char* TargetVersionText(const char* item, VersionText& area) {
    return EscapeVersionText(item, "(EBDV) Target: ", area);
}

}  // namespace ebd
