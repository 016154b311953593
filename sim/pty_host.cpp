#include "sim/pty_host.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ebd::sim {

namespace {

constexpr uint64_t kNsPerSecond = 1'000'000'000;
constexpr uint64_t kNever = UINT64_MAX;
// Output is written this much ahead of its arrival time: a pseudo-terminal
// has no baud rate, and waking up for every single byte would only burn time.
constexpr uint64_t kOutputSlackNs = 1'000'000;
// Output nobody reads is dropped beyond this, like a full receive buffer.
constexpr size_t kMaxPending = 1 << 20;

struct Baud {
    speed_t code;
    uint32_t rate;
};
constexpr std::array kBauds{
    Baud{B1200, 1200},     Baud{B2400, 2400},     Baud{B4800, 4800},     Baud{B9600, 9600},
    Baud{B19200, 19200},   Baud{B38400, 38400},   Baud{B57600, 57600},   Baud{B115200, 115200},
    Baud{B230400, 230400}, Baud{B460800, 460800}, Baud{B921600, 921600},
};

uint32_t RateOf(speed_t code, uint32_t fallback) {
    for (const Baud& baud : kBauds)
        if (baud.code == code) return baud.rate;
    return fallback;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

uint64_t PtyHost::nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * kNsPerSecond + static_cast<uint64_t>(now.tv_nsec);
}

std::unique_ptr<PtyHost> PtyHost::Open(platform::SimPeer& peer, std::string* error) {
    const auto fail = [error](const char* step, int& fd1, int& fd2) {
        if (error != nullptr) *error = std::string(step) + ": " + std::strerror(errno);
        CloseFd(fd1);
        CloseFd(fd2);
        return nullptr;
    };
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    int slave = -1;
    if (master < 0) return fail("posix_openpt", master, slave);
    if (grantpt(master) != 0 || unlockpt(master) != 0) return fail("unlockpt", master, slave);
    std::array<char, 128> name{};
    if (ptsname_r(master, name.data(), name.size()) != 0) return fail("ptsname", master, slave);
    slave = ::open(name.data(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) return fail("open slave", master, slave);

    // Raw from the start, so that nothing the module sends is echoed back to
    // it before a program has opened the port and set it up.
    termios settings{};
    if (tcgetattr(slave, &settings) != 0) return fail("tcgetattr", master, slave);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    if (tcsetattr(slave, TCSANOW, &settings) != 0) return fail("tcsetattr", master, slave);
    const int flags = fcntl(master, F_GETFL);
    if (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl", master, slave);

    auto host = std::unique_ptr<PtyHost>(new PtyHost(peer, master, slave, name.data()));
    host->line_.baudRate = 0;  // so that the first look tells the peer the line
    host->followLine(nowNs());
    return host;
}

PtyHost::PtyHost(platform::SimPeer& peer, int master, int slave, std::string slavePath)
    : peer_(peer), master_(master), slave_(slave), slavePath_(std::move(slavePath)) {
    line_.dtr = false;
    line_.rts = true;
}

PtyHost::~PtyHost() {
    CloseFd(slave_);
    CloseFd(master_);
}

void PtyHost::setDtr(bool raised) {
    if (line_.dtr == raised) return;
    line_.dtr = raised;
    peer_.onLine(line_, nowNs());
}

void PtyHost::followLine(uint64_t nowNs) {
    termios settings{};
    if (tcgetattr(slave_, &settings) != 0) return;
    const uint32_t rate = RateOf(cfgetospeed(&settings), line_.baudRate != 0 ? line_.baudRate : 115200);
    const uint8_t stopBits = (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;
    if (rate == line_.baudRate && stopBits == line_.stopBits) return;
    line_.baudRate = rate;
    line_.stopBits = stopBits;
    peer_.onLine(line_, nowNs);
}

uint64_t PtyHost::nextWakeNs() const {
    uint64_t wake = peer_.nextEventNs();
    uint64_t outputNs = 0;
    if (peer_.frontOutput(&outputNs))
        wake = std::min(wake, outputNs > kOutputSlackNs ? outputNs - kOutputSlackNs : 0);
    return wake;
}

bool PtyHost::takeInput(uint64_t nowNs) {
    std::array<uint8_t, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(master_, buffer.data(), buffer.size());
        if (n > 0) {
            peer_.onHostBytes(buffer.data(), static_cast<size_t>(n), nowNs);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // EAGAIN: all taken. EIO only comes when no slave is open, which the
        // host's own slave descriptor rules out; treat it as nothing to read.
        return n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO;
    }
}

bool PtyHost::writeDueOutput(uint64_t nowNs) {
    peer_.advanceTo(nowNs);
    uint64_t atNs = 0;
    while (peer_.frontOutput(&atNs) && atNs <= nowNs + kOutputSlackNs) {
        const uint8_t byte = peer_.popOutput();
        if (pending_.size() < kMaxPending) pending_.push_back(byte);
    }
    size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::write(master_, pending_.data() + done, pending_.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        return false;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
    return true;
}

bool PtyHost::serveFor(uint64_t maxWaitNs) {
    uint64_t now = nowNs();
    if (!writeDueOutput(now)) return false;

    const uint64_t limit = maxWaitNs > kNever - now ? kNever : now + maxWaitNs;
    const uint64_t wake = std::min(nextWakeNs(), limit);
    const uint64_t waitNs = wake > now ? wake - now : 0;
    const timespec timeout{static_cast<time_t>(waitNs / kNsPerSecond),
                           static_cast<long>(waitNs % kNsPerSecond)};
    pollfd entry{master_, static_cast<short>(POLLIN | (pending_.empty() ? 0 : POLLOUT)), 0};
    const int ready = ppoll(&entry, 1, &timeout, nullptr);
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0 && (entry.revents & POLLNVAL) != 0) return false;

    now = nowNs();
    // The program may have changed the line just before it wrote: look first.
    followLine(now);
    if (ready > 0 && (entry.revents & POLLIN) != 0 && !takeInput(now)) return false;
    return writeDueOutput(now);
}

}  // namespace ebd::sim
