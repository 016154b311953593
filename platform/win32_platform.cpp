// The real platform on Windows: COM ports through the Win32 communications
// functions (the device-control record, the five time-out fields, the comm
// escape function for DTR), the performance counter, Sleep and the local time.
// This is the only file that includes the system's headers for ports and
// clocks; the settings store is in win32_settings.cpp.
#include "platform/win32_platform.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "platform/win32_settings.h"

namespace ebd::platform {

namespace {

// Ports this process can hold at once; the library uses at most 32.
constexpr int32_t kMaxPorts = 64;
// Handles carry a per-slot generation above the slot index, so that a handle
// kept after its close never reaches the port opened later in the same slot.
constexpr int32_t kMaxGeneration = INT32_MAX / kMaxPorts;
// Asked for in the properties record before the call, as the provider expects.
constexpr WORD kPropertiesPacketLength = 64;
// The provider supports total read time-outs (PCF_TOTALTIMEOUTS).
constexpr DWORD kTotalTimeoutsCapability = 0x0040;

LineSettings LineOf(const DCB& dcb) {
    LineSettings line;
    line.baudRate = dcb.BaudRate;
    line.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
    line.rts = dcb.fRtsControl == RTS_CONTROL_ENABLE;
    line.dtr = dcb.fDtrControl == DTR_CONTROL_ENABLE;
    return line;
}

// Errors that mean the device itself is gone (an unplugged USB adapter, a
// pseudo-terminal whose far end closed under Wine), not that one operation
// failed.
bool Gone(DWORD error) {
    switch (error) {
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
            return true;
        default:
            return false;
    }
}

// The handle of an open port; it closes itself.
class PortFile {
public:
    PortFile() = default;
    explicit PortFile(HANDLE handle) : handle_(handle) {}
    PortFile(const PortFile&) = delete;
    PortFile& operator=(const PortFile&) = delete;
    PortFile(PortFile&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
    PortFile& operator=(PortFile&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.handle_;
            other.handle_ = INVALID_HANDLE_VALUE;
        }
        return *this;
    }
    ~PortFile() { reset(); }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    void reset() {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

struct Port {
    PortFile file;
    PortHandle handle = kNoPort;
    int32_t generation = 0;
    // The provider capabilities reported at open.
    DWORD capabilities = 0;
};

class Win32Platform final : public Platform {
public:
    Win32Platform() {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        frequency_ = static_cast<uint64_t>(frequency.QuadPart);
    }

    PortHandle openPort(const char* name, OpenError* error) override {
        OpenError ignored = OpenError::None;
        OpenError& result = error != nullptr ? *error : ignored;
        result = OpenError::None;

        const std::string path = devicePathFor(name);
        if (path.empty()) {
            result = OpenError::NoDevice;
            return kNoPort;
        }
        const int32_t index = freeSlot();
        if (index < 0) {
            result = OpenError::Other;
            return kNoPort;
        }
        // For reading and writing, shared with nobody, an existing device
        // only, every write going straight to the device.
        PortFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_WRITE_THROUGH, nullptr));
        if (!file.valid()) {
            result = openErrorFor(GetLastError());
            return kNoPort;
        }

        Port& port = ports_[static_cast<size_t>(index)];
        // A device that reports no properties supports no total time-outs:
        // every time-out setting is then refused, as the provider would.
        COMMPROP properties{};
        properties.wPacketLength = kPropertiesPacketLength;
        port.capabilities = GetCommProperties(file.get(), &properties) ? properties.dwProvCapabilities : 0;
        // No time-out class yet: reads return at once with what has arrived.
        COMMTIMEOUTS timeouts = TimeoutsFor(0);
        SetCommTimeouts(file.get(), &timeouts);

        port.generation = port.generation >= kMaxGeneration - 1 ? 1 : port.generation + 1;
        port.handle = port.generation * kMaxPorts + index;
        port.file = std::move(file);
        return port.handle;
    }

    void closePort(PortHandle handle) override {
        Port* port = find(handle);
        if (port == nullptr) return;
        port->file.reset();
        port->handle = kNoPort;
    }

    bool getLine(PortHandle handle, LineSettings* settings) override {
        Port* port = find(handle);
        if (port == nullptr || settings == nullptr) return false;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(port->file.get(), &dcb)) return false;
        *settings = LineOf(dcb);
        return true;
    }

    bool setLine(PortHandle handle, const LineSettings& settings) override {
        Port* port = find(handle);
        if (port == nullptr || settings.baudRate == 0 || (settings.stopBits != 1 && settings.stopBits != 2))
            return false;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(port->file.get(), &dcb)) return false;
        PutLineSettings(dcb, settings);
        return SetCommState(port->file.get(), &dcb) != 0;
    }

    bool supportsTotalTimeouts(PortHandle handle) override {
        const Port* port = find(handle);
        return port != nullptr && (port->capabilities & kTotalTimeoutsCapability) != 0;
    }

    bool setQueues(PortHandle handle, uint32_t rxBytes, uint32_t txBytes) override {
        Port* port = find(handle);
        return port != nullptr && SetupComm(port->file.get(), rxBytes, txBytes) != 0;
    }

    bool setReadTimeout(PortHandle handle, uint32_t msPerByte) override {
        Port* port = find(handle);
        if (port == nullptr) return false;
        COMMTIMEOUTS timeouts = TimeoutsFor(msPerByte);
        return SetCommTimeouts(port->file.get(), &timeouts) != 0;
    }

    bool write(PortHandle handle, const uint8_t* data, size_t count) override {
        Port* port = find(handle);
        if (port == nullptr || (data == nullptr && count != 0)) return false;
        const HANDLE file = port->file.get();
        bool written = true;
        // Writes have no time-out, so a write that succeeds has taken every
        // byte; one that takes none is refused.
        for (size_t done = 0; done < count && written;) {
            const DWORD chunk = static_cast<DWORD>(count - done > MAXDWORD ? MAXDWORD : count - done);
            DWORD taken = 0;
            if (!WriteFile(file, data + done, chunk, &taken, nullptr)) {
                written = false;
                if (Gone(GetLastError())) lose(*port);
            } else if (taken == 0) {
                written = false;
            }
            done += taken;
        }
        // Wait until everything written has left the port, whatever the
        // write gave; the write alone decides the result.
        if (port->file.valid()) FlushFileBuffers(file);
        return written;
    }

    ReadStatus read(PortHandle handle, uint8_t* buffer, size_t count, size_t* got) override {
        size_t ignored = 0;
        size_t& received = got != nullptr ? *got : ignored;
        received = 0;
        Port* port = find(handle);
        if (port == nullptr || (buffer == nullptr && count != 0)) return ReadStatus::Failed;
        // The library reads at most 255 bytes at a time; the bound keeps the
        // multiplier's product far from overflowing.
        const DWORD wanted = static_cast<DWORD>(count > 0xFFFF ? 0xFFFF : count);
        DWORD taken = 0;
        if (!ReadFile(port->file.get(), buffer, wanted, &taken, nullptr)) {
            received = taken;
            const DWORD error = GetLastError();
            // More data waiting, or the read still pending: the time ran out.
            if (error == ERROR_MORE_DATA || error == ERROR_IO_PENDING) return ReadStatus::Short;
            if (Gone(error)) lose(*port);
            return ReadStatus::Failed;
        }
        received = taken;
        return taken == count ? ReadStatus::Complete : ReadStatus::Short;
    }

    // Clears the port's error state, so that the next operation starts clean.
    void clearError(PortHandle handle) override {
        Port* port = find(handle);
        if (port == nullptr) return;
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(port->file.get(), &errors, &status);
    }

    bool setDtr(PortHandle handle, bool raised) override {
        Port* port = find(handle);
        return port != nullptr && EscapeCommFunction(port->file.get(), raised ? SETDTR : CLRDTR) != 0;
    }

    bool purge(PortHandle handle) override {
        Port* port = find(handle);
        return port != nullptr && PurgeComm(port->file.get(), PURGE_RXCLEAR | PURGE_TXCLEAR) != 0;
    }

    uint64_t counter() override {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return static_cast<uint64_t>(now.QuadPart);
    }

    uint64_t frequency() override { return frequency_; }

    void sleepMs(uint32_t ms) override { Sleep(ms); }

    void localTime(std::tm* out) override {
        if (out == nullptr) return;
        SYSTEMTIME now{};
        GetLocalTime(&now);
        *out = std::tm{};
        out->tm_year = now.wYear - 1900;
        out->tm_mon = now.wMonth - 1;
        out->tm_mday = now.wDay;
        out->tm_hour = now.wHour;
        out->tm_min = now.wMinute;
        out->tm_sec = now.wSecond;
        out->tm_wday = now.wDayOfWeek;
        out->tm_yday = DayOfYear(now.wYear, now.wMonth, now.wDay);
        out->tm_isdst = -1;
    }

    SettingsStore& settings() override { return registrySettingsStore(); }

private:
    static int DayOfYear(int year, int month, int day) {
        static constexpr std::array<int, 12> kDaysBefore{0,   31,  59,  90,  120, 151,
                                                         181, 212, 243, 273, 304, 334};
        if (month < 1 || month > 12) return 0;
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return kDaysBefore[static_cast<size_t>(month - 1)] + day - 1 + (leap && month > 2 ? 1 : 0);
    }

    // A device that is gone is closed at once rather than kept: its handle is
    // released, so the adapter can come back under the same name, and every
    // later operation on the handle fails until the session closes it.
    static void lose(Port& port) { port.file.reset(); }

    Port* find(PortHandle handle) {
        if (handle < 0) return nullptr;
        Port& port = ports_[static_cast<size_t>(handle % kMaxPorts)];
        return port.file.valid() && port.handle == handle ? &port : nullptr;
    }

    int32_t freeSlot() const {
        for (int32_t index = 0; index < kMaxPorts; ++index) {
            if (!ports_[static_cast<size_t>(index)].file.valid()) return index;
        }
        return -1;
    }

    std::array<Port, kMaxPorts> ports_{};
    uint64_t frequency_ = 1;
};

}  // namespace

// The five time-out fields for a read-total multiplier of `msPerByte`
// milliseconds per requested byte; only the multiplier differs between the
// time-out classes.
COMMTIMEOUTS TimeoutsFor(DWORD msPerByte) {
    COMMTIMEOUTS timeouts{};
    // No limit between two bytes: a read waits for its total time only.
    timeouts.ReadIntervalTimeout = 0;
    // A read of n bytes gives up n * msPerByte ms after it started.
    timeouts.ReadTotalTimeoutMultiplier = msPerByte;
    // No fixed part: the read's time-out scales with the bytes it asks for.
    timeouts.ReadTotalTimeoutConstant = 0;
    // Writes have no time-out: a write returns when every byte is taken.
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    // With all five fields 0 a read would wait for its last byte for ever.
    // Before a time-out class is set, a read returns at once with what has
    // arrived, as it does on Linux.
    if (msPerByte == 0) timeouts.ReadIntervalTimeout = MAXDWORD;
    return timeouts;
}

// The line settings of the protocol, field by field, into the device-control
// record; the fields not named here keep what the port had. Baud rate, stop
// bits, RTS and DTR come from `line`, so that the same table serves the open
// and the three boot settings (which differ from it in those fields only).
void PutLineSettings(DCB& dcb, const LineSettings& line) {
    dcb.BaudRate = line.baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.fParity = FALSE;
    dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = line.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = line.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
    dcb.XonChar = 0;
    dcb.XoffChar = 1;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
}

Platform& win32() {
    static Win32Platform instance;
    return instance;
}

Platform& native() {
    return win32();
}

}  // namespace ebd::platform
