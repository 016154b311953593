// The platform seam: everything the library needs from the operating system
// (serial ports, the high-resolution counter, sleeping, local time, the
// machine-wide settings store) behind one small interface. The library reaches
// it through one process-wide pointer; the real implementation of the system
// it is built for (POSIX on Linux, Win32 on Windows) is installed by default,
// tests install the simulated one with its virtual clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace ebd::platform {

// An open port as the platform knows it; kNoPort means none.
using PortHandle = int32_t;
inline constexpr PortHandle kNoPort = -1;

// Why an open failed, so that front ends can tell the user what to do.
enum class OpenError {
    None,
    NoDevice,     // nothing at that path
    Permission,   // the device exists but may not be opened by this user
    Busy,         // another program (or another open of this process) holds it
    NotTerminal,  // the path is not a serial device
    SetupFailed,  // opened, but the line could not be set up
    Other,
};

// Outcome of a read: all bytes arrived, fewer arrived before the time-out, or
// the device refused (vanished adapter, I/O error, hang-up).
enum class ReadStatus { Complete, Short, Failed };

// The line settings the library switches between. Fields not listed here keep
// raw 8-bit mode, no parity and no flow control on every implementation.
struct LineSettings {
    uint32_t baudRate = 115200;
    uint8_t stopBits = 2;  // 1 or 2
    bool rts = true;
    bool dtr = false;
};

// Type of a value in the settings store, as the registry knows them.
enum class ValueType { Binary, Dword, String, Other };

// Outcome of reading a value: copied, larger than the caller's buffer, not
// there, or the store failed.
enum class QueryResult { Done, MoreData, Missing, Failed };

// An open key of the settings store; closed when it is destroyed.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    // Writes value `name` with `size` bytes of `data`; a Dword is 4 bytes,
    // little-endian. False when the store refuses.
    virtual bool setValue(const char* name, ValueType type, const uint8_t* data, uint32_t size) = 0;
    // Reads value `name` into `buffer`, which holds *size bytes. When the value
    // exists, *type and *size receive its type and length; its bytes are
    // copied only when they fit (Done), otherwise the result is MoreData and
    // the buffer is left alone.
    virtual QueryResult queryValue(const char* name, ValueType* type, uint8_t* buffer, uint32_t* size) = 0;
    // Removes value `name`. True when it is gone, also when it was not there.
    virtual bool deleteValue(const char* name) = 0;
};

// The machine-wide settings store: keys directly below one root (the current
// hardware profile on Windows), each with a class string and typed values.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens key `name` for reading and writing, creating it with the class
    // string `className` when it does not exist; nullptr when that fails.
    virtual std::unique_ptr<SettingsKey> createKey(const char* name, const char* className) = 0;
    // Opens an existing key for reading; nullptr when it is missing or
    // cannot be read.
    virtual std::unique_ptr<SettingsKey> openKey(const char* name) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Serial ports. `name` is "COM<n>". The open is exclusive: a port held by
    // anybody, this process included, fails with OpenError::Busy.
    virtual PortHandle openPort(const char* name, OpenError* error) = 0;
    virtual void closePort(PortHandle port) = 0;
    virtual bool getLine(PortHandle port, LineSettings* settings) = 0;
    // Writes baud rate, stop bits and the modem lines. Returns false when the
    // terminal settings are refused; a device without modem lines (a
    // pseudo-terminal) still accepts the rest.
    virtual bool setLine(PortHandle port, const LineSettings& settings) = 0;
    // Whether the port supports a total read time-out per requested byte.
    virtual bool supportsTotalTimeouts(PortHandle port) = 0;
    virtual bool setQueues(PortHandle port, uint32_t rxBytes, uint32_t txBytes) = 0;
    // Read-total multiplier: a read of n bytes gives up n * msPerByte ms after it
    // started.
    virtual bool setReadTimeout(PortHandle port, uint32_t msPerByte) = 0;
    // Writes all bytes and waits until they have left the port.
    virtual bool write(PortHandle port, const uint8_t* data, size_t count) = 0;
    // Reads up to `count` bytes within the current time-out; *got receives how
    // many arrived.
    virtual ReadStatus read(PortHandle port, uint8_t* buffer, size_t count, size_t* got) = 0;
    virtual void clearError(PortHandle port) = 0;
    // The ignition line: raise (true) or clear (false) DTR alone. Fails on a
    // device without modem lines.
    virtual bool setDtr(PortHandle port, bool raised) = 0;
    // Discards pending input and output.
    virtual bool purge(PortHandle port) = 0;

    // Time.
    virtual uint64_t counter() = 0;
    virtual uint64_t frequency() = 0;
    virtual void sleepMs(uint32_t ms) = 0;
    virtual void localTime(std::tm* out) = 0;

    // The machine-wide settings store.
    virtual SettingsStore& settings() = 0;
};

// The platform in force for this process.
Platform& current();
// Installs `platform` for the whole process; nullptr restores the real one.
void install(Platform* platform);
// The real implementation of the system the library is built for.
Platform& native();
// The real implementations themselves; each exists only on its own system.
Platform& posix();
Platform& win32();

// What an open that failed with the system's error number (errno, or
// GetLastError on Windows) means for the user: one classification for the
// platform's own open and for the tools' diagnosis of a port.
OpenError openErrorFor(unsigned long systemError);

// The trace file below the working directory.
inline constexpr const char* kTraceDirectory = "tracefiles";
inline constexpr const char* kTraceFileName = "tracefile.txt";

// Why a file could not be appended to.
enum class AppendProblem {
    None,
    NotDirectory,    // the folder is a link, or something else than a folder
    Link,            // the file is a link (never followed)
    NotRegularFile,  // a FIFO, a device, a folder...
    NoPermission,    // the user may not create or write it
    Other,           // the system's error number says more
};

struct AppendResult {
    AppendProblem problem = AppendProblem::None;
    unsigned long systemError = 0;  // errno, or GetLastError on Windows
    explicit operator bool() const { return problem == AppendProblem::None; }
};

// Appends `size` bytes to the file `name` in the folder `directory` (both
// created when missing, the folder 0755 and the file 0644 at most) with one
// write on a handle opened for appending, and closes it again; text mode where
// the system has one. A link at either place, a FIFO, a device or a folder
// where the file belongs is refused without waiting. With `size` 0 it only
// checks that the file can be appended to (and creates it).
AppendResult appendToFile(const char* directory, const char* name, const char* data, size_t size);
// "<directory><separator><name>" with the system's separator.
std::string joinPath(const char* directory, const char* name);
// Why the file was not written, in one phrase for people; empty for success.
std::string describeAppendProblem(const AppendResult& result, const char* directory, const char* name);

// The port number of "COM<n>", n from 1 to 255 written without leading zeros
// (the library forms the names with "COM%d"); with `anyCase` also "com<n>", as
// people may write it. 0 for any other text.
unsigned comPortNumber(std::string_view name, bool anyCase = false);

// Device path that "COM<n>" stands for: EBD_COM<n> from the environment, else
// the port map of the settings store (port_map.h), else the system's own
// device of that port (see kDefaultDevice). Empty for a name that is not COM
// followed by 1 to 255.
std::string devicePathFor(const char* comName);
// The system's own device of port n, written for people: "/dev/ttyS<N-1>" on
// Linux, "\\.\COM<N>" on Windows.
extern const char* const kDefaultDevice;
// The system's own device of port `number` (1 to 255).
std::string defaultDevicePath(unsigned number);

}  // namespace ebd::platform
