// The real platform on Linux: serial ports through termios, the monotonic clock,
// nanosleep, local time and the settings file. This is the only file that
// includes the system's headers for terminals, polling and clocks.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/settings_file.h"

namespace ebd::platform {

namespace {

constexpr uint64_t kNsPerMs = 1'000'000;
constexpr uint64_t kNsPerSecond = 1'000'000'000;
// A write that makes no progress for this long gives up (the far end stopped
// taking bytes, for example a pseudo-terminal nobody reads).
constexpr uint64_t kWriteStallNs = 2 * kNsPerSecond;
// Ports this process can hold at once; the library uses at most 32.
constexpr int32_t kMaxPorts = 64;
// Handles carry a per-slot generation above the slot index, so that a handle
// kept after its close never reaches the port opened later in the same slot.
constexpr int32_t kMaxGeneration = INT32_MAX / kMaxPorts;

struct BaudRate {
    uint32_t rate;
    speed_t code;
};

constexpr std::array kBaudRates{
    BaudRate{50, B50},           BaudRate{75, B75},           BaudRate{110, B110},
    BaudRate{134, B134},         BaudRate{150, B150},         BaudRate{200, B200},
    BaudRate{300, B300},         BaudRate{600, B600},         BaudRate{1200, B1200},
    BaudRate{1800, B1800},       BaudRate{2400, B2400},       BaudRate{4800, B4800},
    BaudRate{9600, B9600},       BaudRate{19200, B19200},     BaudRate{38400, B38400},
    BaudRate{57600, B57600},     BaudRate{115200, B115200},   BaudRate{230400, B230400},
    BaudRate{460800, B460800},   BaudRate{500000, B500000},   BaudRate{576000, B576000},
    BaudRate{921600, B921600},   BaudRate{1000000, B1000000}, BaudRate{1152000, B1152000},
    BaudRate{1500000, B1500000}, BaudRate{2000000, B2000000}, BaudRate{2500000, B2500000},
    BaudRate{3000000, B3000000}, BaudRate{3500000, B3500000}, BaudRate{4000000, B4000000},
};

std::optional<speed_t> speedCodeFor(uint32_t rate) {
    for (const BaudRate& entry : kBaudRates) {
        if (entry.rate == rate) return entry.code;
    }
    return std::nullopt;
}

std::optional<uint32_t> rateFor(speed_t code) {
    for (const BaudRate& entry : kBaudRates) {
        if (entry.code == code) return entry.rate;
    }
    return std::nullopt;
}

uint64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * kNsPerSecond + static_cast<uint64_t>(now.tv_nsec);
}

// n * msPerByte milliseconds in nanoseconds, saturating far beyond any real wait.
uint64_t readBudgetNs(size_t count, uint32_t msPerByte) {
    constexpr uint64_t kMaxMs = (UINT64_MAX / 4) / kNsPerMs;
    if (msPerByte == 0) return 0;
    const uint64_t ms = count > kMaxMs / msPerByte ? kMaxMs : static_cast<uint64_t>(count) * msPerByte;
    return ms * kNsPerMs;
}

enum class Wait { Ready, TimedOut, Failed };

// Waits until `fd` is ready for `events` or the monotonic clock reaches
// `deadlineNs`. An interrupted wait counts as ready: the caller retries its
// operation and looks at the clock again.
Wait waitFor(int fd, short events, uint64_t deadlineNs) {
    const uint64_t now = monotonicNs();
    if (now >= deadlineNs) return Wait::TimedOut;
    const uint64_t remaining = deadlineNs - now;
    const timespec timeout{static_cast<time_t>(remaining / kNsPerSecond),
                           static_cast<long>(remaining % kNsPerSecond)};
    pollfd entry{fd, events, 0};
    const int ready = ppoll(&entry, 1, &timeout, nullptr);
    if (ready < 0) return errno == EINTR ? Wait::Ready : Wait::Failed;
    if (ready == 0) return Wait::TimedOut;
    if ((entry.revents & (POLLERR | POLLNVAL)) != 0) return Wait::Failed;
    // Bytes that arrived before a hang-up are still read; the hang-up alone fails.
    if ((entry.revents & events) == 0 && (entry.revents & POLLHUP) != 0) return Wait::Failed;
    return Wait::Ready;
}

// Raw 8-bit mode: no parity, no flow control, no line editing or translation,
// the modem-status lines ignored, and the lines left alone at the last close.
void makeRaw(termios& settings) {
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                               IXON | IXOFF | IXANY | INPCK);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CRTSCTS | HUPCL);
    settings.c_cflag |= static_cast<tcflag_t>(CS8 | CLOCAL | CREAD);
    // Unused because the descriptor is non-blocking: every wait is a poll().
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

// Raises the modem lines in `raise` and clears those in `clear`. A device
// without modem lines (a pseudo-terminal) refuses with ENOTTY or EINVAL; that
// is no failure here, the terminal settings still hold.
bool setModemLines(int fd, int raise, int clear) {
    for (const auto& [request, bits] : {std::pair{TIOCMBIS, raise}, std::pair{TIOCMBIC, clear}}) {
        if (bits != 0 && ioctl(fd, request, &bits) != 0 && errno != ENOTTY && errno != EINVAL) return false;
    }
    return true;
}

// The descriptor of an open port. It closes itself, and gives up exclusive
// mode first when it took it: a pseudo-terminal outlives the close of its
// slave and would otherwise keep refusing ordinary users.
class PortFd {
public:
    PortFd() = default;
    explicit PortFd(int fd) : fd_(fd) {}
    PortFd(const PortFd&) = delete;
    PortFd& operator=(const PortFd&) = delete;
    PortFd(PortFd&& other) noexcept : fd_(other.fd_), exclusive_(other.exclusive_) { other.release(); }
    PortFd& operator=(PortFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.fd_;
            exclusive_ = other.exclusive_;
            other.release();
        }
        return *this;
    }
    ~PortFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void markExclusive() { exclusive_ = true; }

    void reset() {
        if (fd_ < 0) return;
        if (exclusive_) ioctl(fd_, TIOCNXCL);
        // The descriptor is gone after close() whatever it returns; the flock
        // goes with it.
        ::close(fd_);
        release();
    }

private:
    void release() {
        fd_ = -1;
        exclusive_ = false;
    }

    int fd_ = -1;
    bool exclusive_ = false;
};

struct Port {
    PortFd fd;
    bool reserved = false;  // an open is in progress on this slot
    PortHandle handle = kNoPort;
    int32_t generation = 0;
    uint32_t msPerByte = 0;
    LineSettings line;
};

class PosixPlatform final : public Platform {
public:
    PortHandle openPort(const char* name, OpenError* error) override {
        OpenError ignored = OpenError::None;
        OpenError& result = error != nullptr ? *error : ignored;
        result = OpenError::None;

        const std::string path = devicePathFor(name);
        if (path.empty()) {
            result = OpenError::NoDevice;
            return kNoPort;
        }
        const int32_t index = claimSlot();
        if (index < 0) {
            result = OpenError::Other;
            return kNoPort;
        }
        // The slot is this open's until it is filled, or given back on any
        // early return.
        struct SlotClaim {
            PosixPlatform& self;
            int32_t index;
            ~SlotClaim() {
                const std::lock_guard lock(self.table_);
                self.ports_[static_cast<size_t>(index)].reserved = false;
            }
        } claim{*this, index};

        // Non-blocking, so that the open does not wait for a carrier before
        // CLOCAL is set; every later wait is a poll() anyway.
        int raw = -1;
        do {
            raw = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        } while (raw < 0 && errno == EINTR);
        if (raw < 0) {
            result = openErrorFor(errno);
            return kNoPort;
        }
        // From here on every early return closes the descriptor.
        PortFd fd(raw);
        if (!isatty(fd.get())) {
            result = OpenError::NotTerminal;
            return kNoPort;
        }
        // TIOCEXCL alone leaves a race: two opens that both pass open() before
        // either sets it both succeed, and a privileged process is never
        // refused by it at all. An exclusive flock settles who holds the port
        // at once, fails for any second open (this process's own included,
        // since every open has its own lock) and privilege does not bypass it.
        // Only the winner goes on to set TIOCEXCL, which keeps out programs
        // that do not take the lock.
        if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            result = errno == EWOULDBLOCK ? OpenError::Busy : OpenError::Other;
            return kNoPort;
        }
        if (ioctl(fd.get(), TIOCEXCL) != 0) {
            result = OpenError::SetupFailed;
            return kNoPort;
        }
        fd.markExclusive();

        termios settings{};
        if (tcgetattr(fd.get(), &settings) != 0) {
            result = OpenError::SetupFailed;
            return kNoPort;
        }
        makeRaw(settings);
        if (tcsetattr(fd.get(), TCSANOW, &settings) != 0) {
            result = OpenError::SetupFailed;
            return kNoPort;
        }

        const std::lock_guard lock(table_);
        Port& port = ports_[static_cast<size_t>(index)];
        port.line = LineSettings{};
        port.line.baudRate = rateFor(cfgetospeed(&settings)).value_or(port.line.baudRate);
        port.line.stopBits = (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;
        // Linux raises DTR and RTS when a port opens; without modem lines
        // that is what is reported until the lines are set.
        int lines = 0;
        const bool haveLines = ioctl(fd.get(), TIOCMGET, &lines) == 0;
        port.line.rts = !haveLines || (lines & TIOCM_RTS) != 0;
        port.line.dtr = !haveLines || (lines & TIOCM_DTR) != 0;
        port.msPerByte = 0;
        port.generation = port.generation >= kMaxGeneration - 1 ? 1 : port.generation + 1;
        port.handle = port.generation * kMaxPorts + index;
        port.fd = std::move(fd);
        return port.handle;
    }

    void closePort(PortHandle handle) override {
        const std::lock_guard lock(table_);
        Port* port = findLocked(handle);
        if (port == nullptr) return;
        // Bytes a failed write left behind are dropped, or the close of a
        // serial port would wait for them for up to half a minute.
        tcflush(port->fd.get(), TCOFLUSH);
        port->fd.reset();
        port->handle = kNoPort;
    }

    bool getLine(PortHandle handle, LineSettings* settings) override {
        Port* port = find(handle);
        if (port == nullptr || settings == nullptr) return false;
        termios current{};
        if (tcgetattr(port->fd.get(), &current) != 0) return false;
        *settings = port->line;
        settings->baudRate = rateFor(cfgetospeed(&current)).value_or(port->line.baudRate);
        settings->stopBits = (current.c_cflag & CSTOPB) != 0 ? 2 : 1;
        return true;
    }

    bool setLine(PortHandle handle, const LineSettings& settings) override {
        Port* port = find(handle);
        if (port == nullptr) return false;
        const std::optional<speed_t> speed = speedCodeFor(settings.baudRate);
        if (!speed || (settings.stopBits != 1 && settings.stopBits != 2)) return false;

        const int fd = port->fd.get();
        termios wanted{};
        if (tcgetattr(fd, &wanted) != 0) return false;
        makeRaw(wanted);
        if (cfsetispeed(&wanted, *speed) != 0 || cfsetospeed(&wanted, *speed) != 0) return false;
        if (settings.stopBits == 2) {
            wanted.c_cflag |= CSTOPB;
        } else {
            wanted.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
        }
        if (tcsetattr(fd, TCSANOW, &wanted) != 0) return false;
        // tcsetattr succeeds when any part was taken; check the parts that matter.
        termios taken{};
        if (tcgetattr(fd, &taken) != 0 || cfgetospeed(&taken) != *speed ||
            (taken.c_cflag & CSTOPB) != (wanted.c_cflag & CSTOPB) || (taken.c_cflag & CSIZE) != CS8) {
            return false;
        }
        port->line.baudRate = settings.baudRate;
        port->line.stopBits = settings.stopBits;

        const int raise = (settings.rts ? TIOCM_RTS : 0) | (settings.dtr ? TIOCM_DTR : 0);
        const int clear = (settings.rts ? 0 : TIOCM_RTS) | (settings.dtr ? 0 : TIOCM_DTR);
        if (!setModemLines(fd, raise, clear)) return false;
        port->line.rts = settings.rts;
        port->line.dtr = settings.dtr;
        return true;
    }

    bool supportsTotalTimeouts(PortHandle handle) override { return find(handle) != nullptr; }

    // Linux sizes the queues of a terminal itself; there is nothing to set.
    bool setQueues(PortHandle handle, uint32_t, uint32_t) override { return find(handle) != nullptr; }

    bool setReadTimeout(PortHandle handle, uint32_t msPerByte) override {
        Port* port = find(handle);
        if (port == nullptr) return false;
        port->msPerByte = msPerByte;
        return true;
    }

    bool write(PortHandle handle, const uint8_t* data, size_t count) override {
        Port* port = find(handle);
        if (port == nullptr || (data == nullptr && count != 0)) return false;
        const int fd = port->fd.get();

        // Loop until every byte is taken, waiting whenever the port's output
        // buffer is full.
        size_t done = 0;
        uint64_t lastProgressNs = monotonicNs();
        while (done < count) {
            const ssize_t written = ::write(fd, data + done, count - done);
            if (written > 0) {
                done += static_cast<size_t>(written);
                lastProgressNs = monotonicNs();
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                if (gone(errno)) lose(*port);
                return false;
            }
            if (waitFor(fd, POLLOUT, lastProgressNs + kWriteStallNs) != Wait::Ready) return false;
        }
        while (tcdrain(fd) != 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }

    ReadStatus read(PortHandle handle, uint8_t* buffer, size_t count, size_t* got) override {
        size_t ignored = 0;
        size_t& received = got != nullptr ? *got : ignored;
        received = 0;
        Port* port = find(handle);
        if (port == nullptr || (buffer == nullptr && count != 0)) return ReadStatus::Failed;
        const int fd = port->fd.get();
        const uint64_t deadlineNs = monotonicNs() + readBudgetNs(count, port->msPerByte);

        // Take what has arrived, then wait for more until the deadline.
        while (received < count) {
            const ssize_t n = ::read(fd, buffer + received, count - received);
            if (n > 0) {
                received += static_cast<size_t>(n);
                continue;
            }
            // End of file on a terminal: the device hung up.
            if (n == 0) return lose(*port);
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return gone(errno) ? lose(*port) : ReadStatus::Failed;
            switch (waitFor(fd, POLLIN, deadlineNs)) {
                case Wait::Ready:
                    break;
                case Wait::TimedOut:
                    return ReadStatus::Short;
                case Wait::Failed:
                    return lose(*port);
            }
        }
        return ReadStatus::Complete;
    }

    // Errors that mean the device itself is gone (an unplugged USB adapter, a
    // hung-up pseudo-terminal), not that one operation failed.
    static bool gone(int error) {
        return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
    }

    // A device that is gone is closed at once rather than kept: its descriptor
    // is released, so the adapter can come back under the same name, and every
    // later operation on the handle fails until the session closes it.
    ReadStatus lose(Port& port) {
        const std::lock_guard lock(table_);
        port.fd.reset();
        return ReadStatus::Failed;
    }

    // A terminal keeps no error state that blocks later operations: each call
    // reports its own failure through errno, and the next one starts clean.
    void clearError(PortHandle) override {}

    bool setDtr(PortHandle handle, bool raised) override {
        Port* port = find(handle);
        if (port == nullptr) return false;
        const int dtr = TIOCM_DTR;
        if (ioctl(port->fd.get(), raised ? TIOCMBIS : TIOCMBIC, &dtr) != 0) return false;
        port->line.dtr = raised;
        return true;
    }

    bool purge(PortHandle handle) override {
        Port* port = find(handle);
        return port != nullptr && tcflush(port->fd.get(), TCIOFLUSH) == 0;
    }

    uint64_t counter() override { return monotonicNs(); }

    uint64_t frequency() override { return kNsPerSecond; }

    void sleepMs(uint32_t ms) override {
        timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
        // Sleep on after a signal for the time that was left.
        while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
        }
    }

    void localTime(std::tm* out) override {
        if (out == nullptr) return;
        const time_t now = time(nullptr);
        if (localtime_r(&now, out) == nullptr) *out = std::tm{};
    }

    SettingsStore& settings() override { return fileSettingsStore(); }

private:
    // Sessions on several threads open, use and close their ports at once: the
    // table's slots are claimed, looked up and given back under this lock. A
    // slot's descriptor and settings are then used by its session alone.
    Port* find(PortHandle handle) {
        const std::lock_guard lock(table_);
        return findLocked(handle);
    }

    Port* findLocked(PortHandle handle) {
        if (handle < 0) return nullptr;
        Port& port = ports_[static_cast<size_t>(handle % kMaxPorts)];
        return port.fd.valid() && port.handle == handle ? &port : nullptr;
    }

    int32_t claimSlot() {
        const std::lock_guard lock(table_);
        for (int32_t index = 0; index < kMaxPorts; ++index) {
            Port& port = ports_[static_cast<size_t>(index)];
            if (!port.fd.valid() && !port.reserved) {
                port.reserved = true;
                return index;
            }
        }
        return -1;
    }

    std::mutex table_;
    std::array<Port, kMaxPorts> ports_{};
};

}  // namespace

Platform& posix() {
    static PosixPlatform instance;
    return instance;
}

Platform& native() {
    return posix();
}

}  // namespace ebd::platform
