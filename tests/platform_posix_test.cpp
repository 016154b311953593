// The real platform against pseudo-terminals: the test holds the master side and
// maps a COM name to the slave through the environment.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/port_map.h"

namespace ebd::platform {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr const char* kPortName = "COM200";
constexpr const char* kPortVariable = "EBD_COM200";

int64_t msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int openDescriptorCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

// A pseudo-terminal pair; the test speaks on the master side.
class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        std::array<char, 128> name{};
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
            ptsname_r(master_, name.data(), name.size()) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return;
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        slavePath_ = name.data();
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    void send(const Bytes& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // What the port sent, waiting up to `timeoutMs` for `count` bytes.
    Bytes receive(size_t count, int timeoutMs = 2000) const {
        Bytes bytes;
        const auto start = Clock::now();
        while (bytes.size() < count && msSince(start) < timeoutMs) {
            pollfd entry{master_, POLLIN, 0};
            if (poll(&entry, 1, 50) <= 0) continue;
            std::array<uint8_t, 4096> chunk{};
            const ssize_t n = ::read(master_, chunk.data(), std::min(chunk.size(), count - bytes.size()));
            if (n > 0) bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
        }
        return bytes;
    }

    termios slaveSettings() const {
        termios settings{};
        EXPECT_EQ(tcgetattr(master_, &settings), 0);
        return settings;
    }

    // Whether the slave is in exclusive mode: an ordinary user is refused with
    // EBUSY; a privileged one gets in and asks the terminal.
    bool slaveExclusive() const {
        const int fd = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return errno == EBUSY;
        int exclusive = 0;
        EXPECT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
        ::close(fd);
        return exclusive != 0;
    }

private:
    int master_ = -1;
    std::string slavePath_;
};

class PosixPortTest : public ::testing::Test {
protected:
    void SetUp() override { setenv(kPortVariable, pty_.slavePath().c_str(), 1); }
    void TearDown() override {
        if (port_ != kNoPort) platform_.closePort(port_);
        unsetenv(kPortVariable);
    }

    // Opens the pseudo-terminal's port and keeps it for the test.
    void openPort(uint32_t msPerByte = 0) {
        OpenError error = OpenError::Other;
        port_ = platform_.openPort(kPortName, &error);
        ASSERT_NE(port_, kNoPort);
        ASSERT_EQ(error, OpenError::None);
        ASSERT_TRUE(platform_.setReadTimeout(port_, msPerByte));
    }

    ReadStatus readBytes(size_t count, Bytes* bytes) {
        bytes->assign(count, 0);
        size_t got = SIZE_MAX;
        const ReadStatus status = platform_.read(port_, bytes->data(), count, &got);
        EXPECT_LE(got, count);
        bytes->resize(std::min(got, count));
        return status;
    }

    Platform& platform_ = posix();
    Pty pty_;
    PortHandle port_ = kNoPort;
};

TEST_F(PosixPortTest, OpenSetsRawModeSoBytesPassUntranslated) {
    openPort(50);
    const termios settings = pty_.slaveSettings();
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CRTSCTS | HUPCL), 0u);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | INPCK), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);

    // Control characters, flow-control characters and 8-bit bytes, both ways.
    const Bytes special{'\r', '\n', 0x03, 0x11, 0x13, 0x7F, 0x00, 0xFF, 0x04, 0x1A};
    pty_.send(special);
    Bytes in;
    EXPECT_EQ(readBytes(special.size(), &in), ReadStatus::Complete);
    EXPECT_EQ(in, special);
    // Nothing was echoed back.
    ASSERT_TRUE(platform_.write(port_, special.data(), special.size()));
    EXPECT_EQ(pty_.receive(special.size() + 1, 300), special);
}

TEST_F(PosixPortTest, HeldPortIsBusyUntilClosed) {
    openPort();
    OpenError error = OpenError::None;
    EXPECT_EQ(platform_.openPort(kPortName, &error), kNoPort);
    EXPECT_EQ(error, OpenError::Busy);
    // The refused open neither took nor gave up the holder's exclusive mode,
    // and the holder still talks on the port.
    EXPECT_TRUE(pty_.slaveExclusive());
    const Bytes hello{'h', 'i'};
    ASSERT_TRUE(platform_.write(port_, hello.data(), hello.size()));
    EXPECT_EQ(pty_.receive(2), hello);

    platform_.closePort(port_);
    port_ = kNoPort;
    // An ordinary user may open the port again after the close.
    EXPECT_FALSE(pty_.slaveExclusive());
    openPort();
}

TEST_F(PosixPortTest, LockHeldThroughAnotherDescriptorMakesOpenBusy) {
    const int other = ::open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    OpenError error = OpenError::None;
    EXPECT_EQ(platform_.openPort(kPortName, &error), kNoPort);
    EXPECT_EQ(error, OpenError::Busy);
    EXPECT_FALSE(pty_.slaveExclusive());
    ::close(other);
    openPort();
}

TEST(PosixOpenTest, OpenFailuresTellWhy) {
    Platform& platform = posix();
    OpenError error = OpenError::None;

    setenv("EBD_COM201", "/nonexistent/ttyUSB9", 1);
    EXPECT_EQ(platform.openPort("COM201", &error), kNoPort);
    EXPECT_EQ(error, OpenError::NoDevice);
    unsetenv("EBD_COM201");

    for (const char* name : {"COM0", "COM256", "LPT1", "", static_cast<const char*>(nullptr)}) {
        error = OpenError::None;
        EXPECT_EQ(platform.openPort(name, &error), kNoPort) << (name ? name : "(null)");
        EXPECT_EQ(error, OpenError::NoDevice) << (name ? name : "(null)");
    }

    std::array<char, 32> file{"/tmp/ebd-not-a-tty-XXXXXX"};
    const int fd = mkstemp(file.data());
    ASSERT_GE(fd, 0);
    ::close(fd);
    setenv("EBD_COM202", file.data(), 1);
    error = OpenError::None;
    EXPECT_EQ(platform.openPort("COM202", &error), kNoPort);
    EXPECT_EQ(error, OpenError::NotTerminal);
    setenv("EBD_COM202", "/tmp", 1);
    error = OpenError::None;
    EXPECT_EQ(platform.openPort("COM202", &error), kNoPort);
    EXPECT_EQ(error, OpenError::NotTerminal);
    unsetenv("EBD_COM202");
    unlink(file.data());

    // No place for the reason is no reason to crash.
    EXPECT_EQ(platform.openPort("COM0", nullptr), kNoPort);
}

TEST_F(PosixPortTest, ReadGivesUpAfterCountTimesTheTimeout) {
    openPort(5);
    Bytes in;
    auto start = Clock::now();
    EXPECT_EQ(readBytes(4, &in), ReadStatus::Short);
    EXPECT_GE(msSince(start), 20);
    EXPECT_TRUE(in.empty());

    // Fewer bytes than asked for: they are in the buffer and counted.
    pty_.send({0x41, 0x42});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    start = Clock::now();
    EXPECT_EQ(readBytes(4, &in), ReadStatus::Short);
    EXPECT_GE(msSince(start), 20);
    EXPECT_EQ(in, (Bytes{0x41, 0x42}));

    // All of them: the read returns as soon as they are there.
    pty_.send({1, 2, 3, 4});
    ASSERT_TRUE(platform_.setReadTimeout(port_, 250));
    EXPECT_EQ(readBytes(4, &in), ReadStatus::Complete);
    EXPECT_EQ(in, (Bytes{1, 2, 3, 4}));

    // Nothing asked, nothing waited for.
    EXPECT_EQ(readBytes(0, &in), ReadStatus::Complete);
}

TEST_F(PosixPortTest, BytesArrivingDuringTheWaitEndIt) {
    openPort(2000);
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty_.send({'a'});
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty_.send({'b', 'c'});
    });
    Bytes in;
    const auto start = Clock::now();
    const ReadStatus status = readBytes(3, &in);
    const int64_t elapsed = msSince(start);
    sender.join();
    EXPECT_EQ(status, ReadStatus::Complete);
    EXPECT_EQ(in, (Bytes{'a', 'b', 'c'}));
    EXPECT_GE(elapsed, 50);
    EXPECT_LT(elapsed, 3000);
}

TEST_F(PosixPortTest, HangUpDuringReadFailsAtOnce) {
    openPort(1000);
    std::thread closer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty_.closeMaster();
    });
    Bytes in;
    const auto start = Clock::now();
    const ReadStatus status = readBytes(10, &in);
    const int64_t elapsed = msSince(start);
    closer.join();
    EXPECT_EQ(status, ReadStatus::Failed);
    EXPECT_LT(elapsed, 5000);

    // The vanished device refuses everything after it, at once.
    EXPECT_EQ(readBytes(1, &in), ReadStatus::Failed);
    const uint8_t byte = 0x55;
    EXPECT_FALSE(platform_.write(port_, &byte, 1));
}

TEST_F(PosixPortTest, WriteDeliversAllBytes) {
    openPort();
    Bytes out(3000);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 7 + 3);
    ASSERT_TRUE(platform_.write(port_, out.data(), out.size()));
    EXPECT_EQ(pty_.receive(out.size()), out);
    EXPECT_TRUE(platform_.write(port_, nullptr, 0));
    EXPECT_FALSE(platform_.write(port_, nullptr, 5));
}

TEST_F(PosixPortTest, WriteNobodyTakesGivesUp) {
    openPort();
    const Bytes out(4 * 1024 * 1024, 0x5A);
    const auto start = Clock::now();
    EXPECT_FALSE(platform_.write(port_, out.data(), out.size()));
    EXPECT_GE(msSince(start), 1900);
}

TEST_F(PosixPortTest, PurgeDiscardsPendingInput) {
    openPort(10);
    pty_.send({9, 8, 7});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(platform_.purge(port_));
    Bytes in;
    EXPECT_EQ(readBytes(1, &in), ReadStatus::Short);
    EXPECT_TRUE(in.empty());
}

TEST_F(PosixPortTest, LineSettingsAreWrittenAndReportedBack) {
    openPort();
    LineSettings line{57600, 1, false, false};
    // A pseudo-terminal has no modem lines: the terminal settings still count.
    ASSERT_TRUE(platform_.setLine(port_, line));
    termios settings = pty_.slaveSettings();
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B57600));
    EXPECT_EQ(settings.c_cflag & CSTOPB, 0u);
    LineSettings reported{};
    ASSERT_TRUE(platform_.getLine(port_, &reported));
    EXPECT_EQ(reported.baudRate, 57600u);
    EXPECT_EQ(reported.stopBits, 1);
    EXPECT_FALSE(reported.rts);
    EXPECT_FALSE(reported.dtr);

    line = LineSettings{115200, 2, true, true};
    ASSERT_TRUE(platform_.setLine(port_, line));
    settings = pty_.slaveSettings();
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B115200));
    EXPECT_NE(settings.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    ASSERT_TRUE(platform_.getLine(port_, &reported));
    EXPECT_EQ(reported.baudRate, 115200u);
    EXPECT_EQ(reported.stopBits, 2);
    EXPECT_TRUE(reported.rts);
    EXPECT_TRUE(reported.dtr);

    // Refused settings change nothing.
    EXPECT_FALSE(platform_.setLine(port_, LineSettings{12345, 2, true, true}));
    EXPECT_FALSE(platform_.setLine(port_, LineSettings{115200, 3, true, true}));
    EXPECT_FALSE(platform_.setLine(port_, LineSettings{0, 1, true, true}));
    ASSERT_TRUE(platform_.getLine(port_, &reported));
    EXPECT_EQ(reported.baudRate, 115200u);
    EXPECT_EQ(reported.stopBits, 2);
    EXPECT_FALSE(platform_.getLine(port_, nullptr));

    // DTR alone is refused without modem lines.
    EXPECT_FALSE(platform_.setDtr(port_, true));
    EXPECT_FALSE(platform_.setDtr(port_, false));
}

TEST_F(PosixPortTest, UnknownAndClosedHandlesFail) {
    openPort();
    const PortHandle closed = port_;
    platform_.closePort(closed);
    port_ = kNoPort;
    // The next open may take the same slot; the old handle must not reach it.
    openPort();
    ASSERT_NE(port_, closed);

    uint8_t byte = 0;
    size_t got = 99;
    LineSettings line{};
    for (const PortHandle handle : {kNoPort, closed, PortHandle{12345}, PortHandle{INT32_MAX}, INT32_MIN}) {
        SCOPED_TRACE(handle);
        EXPECT_FALSE(platform_.getLine(handle, &line));
        EXPECT_FALSE(platform_.setLine(handle, line));
        EXPECT_FALSE(platform_.supportsTotalTimeouts(handle));
        EXPECT_FALSE(platform_.setQueues(handle, 4096, 256));
        EXPECT_FALSE(platform_.setReadTimeout(handle, 1));
        EXPECT_FALSE(platform_.write(handle, &byte, 1));
        EXPECT_EQ(platform_.read(handle, &byte, 1, &got), ReadStatus::Failed);
        EXPECT_EQ(got, 0u);
        EXPECT_FALSE(platform_.setDtr(handle, true));
        EXPECT_FALSE(platform_.purge(handle));
        platform_.clearError(handle);
        platform_.closePort(handle);
    }
    // The port opened in the meantime is untouched.
    EXPECT_TRUE(platform_.supportsTotalTimeouts(port_));
    EXPECT_TRUE(platform_.setQueues(port_, 4096, 256));
    ASSERT_TRUE(platform_.write(port_, &byte, 1));
    EXPECT_EQ(pty_.receive(1), Bytes{0});
}

TEST_F(PosixPortTest, NoDescriptorLeaksOverManyOpens) {
    std::array<char, 32> file{"/tmp/ebd-not-a-tty-XXXXXX"};
    const int fd = mkstemp(file.data());
    ASSERT_GE(fd, 0);
    ::close(fd);
    setenv("EBD_COM203", file.data(), 1);
    setenv("EBD_COM204", "/nonexistent/ttyUSB9", 1);

    const int before = openDescriptorCount();
    for (int i = 0; i < 100; ++i) {
        OpenError error = OpenError::None;
        const PortHandle port = platform_.openPort(kPortName, &error);
        ASSERT_NE(port, kNoPort) << "cycle " << i;
        EXPECT_EQ(platform_.openPort(kPortName, &error), kNoPort);
        EXPECT_EQ(error, OpenError::Busy);
        EXPECT_EQ(platform_.openPort("COM203", &error), kNoPort);
        EXPECT_EQ(error, OpenError::NotTerminal);
        EXPECT_EQ(platform_.openPort("COM204", &error), kNoPort);
        EXPECT_EQ(error, OpenError::NoDevice);
        platform_.closePort(port);
    }
    EXPECT_EQ(openDescriptorCount(), before);

    unsetenv("EBD_COM203");
    unsetenv("EBD_COM204");
    unlink(file.data());
}

TEST(DevicePathTest, ComNamesMapToEnvironmentOrSerialDevices) {
    unsetenv("EBD_COM1");
    unsetenv("EBD_COM255");
    EXPECT_EQ(devicePathFor("COM1"), "/dev/ttyS0");
    EXPECT_EQ(devicePathFor("COM8"), "/dev/ttyS7");
    EXPECT_EQ(devicePathFor("COM255"), "/dev/ttyS254");

    setenv("EBD_COM1", "/dev/ttyUSB0", 1);
    EXPECT_EQ(devicePathFor("COM1"), "/dev/ttyUSB0");
    // An empty variable counts as unset.
    setenv("EBD_COM1", "", 1);
    EXPECT_EQ(devicePathFor("COM1"), "/dev/ttyS0");
    unsetenv("EBD_COM1");

    for (const char* name : {"COM0", "COM256", "COM1000", "COM01", "COM", "com1", "COM1 ", " COM1", "COM-1",
                             "COM+1", "COM1a", "LPT1", ""}) {
        EXPECT_EQ(devicePathFor(name), "") << '"' << name << '"';
    }
    EXPECT_EQ(devicePathFor(nullptr), "");
}

// Against a settings file of the test's own; setting and removing entries is
// covered by the command line's tests.
TEST(PortMapTest, TheEnvironmentBeatsTheMapWhichBeatsTheDefaultAndBadEntriesArePassedOver) {
    const std::string file =
        std::filesystem::temp_directory_path() / ("port_map_" + std::to_string(getpid()));
    std::ofstream(file)
        << "[Ports]\n\"COM1\"=\"/dev/ttyUSB0\"\n\"COM2\"=\"/dev/ttyUSB1\"\n\"COM3\"=\"\"\n"
           "\"COM4\"=\"ttyUSB0\"\n\"COM5\"=dword:00000005\n\"COM6\"=/dev/ttyUSB6\n\"COM7\"=\"/"
        << std::string(kMaxMappedDevice, 'x')
        << "\"\n\"COM32\"=\"/dev/ttyACM3\"\n\"COM33\"=\"/dev/ttyACM4\"\n";
    setenv("EBD_SETTINGS_FILE", file.c_str(), 1);
    setenv("EBD_COM2", "/dev/ttyACM0", 1);
    const struct {
        unsigned port;
        const char* device;
        PortSource source;
        const char* ignored;
    } cases[] = {
        {1, "/dev/ttyUSB0", PortSource::Map, ""},
        {2, "/dev/ttyACM0", PortSource::Environment, ""},
        {3, "/dev/ttyS2", PortSource::Default, "empty"},
        {4, "/dev/ttyS3", PortSource::Default, "not an absolute device path"},
        {5, "/dev/ttyS4", PortSource::Default, "not a string value"},
        {6, "/dev/ttyS5", PortSource::Default, "the entry cannot be read as a string"},
        {7, "/dev/ttyS6", PortSource::Default, "longer than 255 characters"},
        {33, "/dev/ttyS32", PortSource::Default, ""},  // beyond the port table
    };
    for (const auto& c : cases) {
        const PortMapping mapping = portMappingFor(c.port);
        EXPECT_EQ(mapping.device, c.device) << "COM" << c.port;
        EXPECT_EQ(mapping.source, c.source) << "COM" << c.port;
        EXPECT_EQ(mapping.ignored, c.ignored) << "COM" << c.port;
    }
    std::filesystem::remove(file);
    unsetenv("EBD_SETTINGS_FILE");
    unsetenv("EBD_COM2");
}

TEST(PosixTimeTest, CounterSleepAndLocalTime) {
    Platform& platform = posix();
    EXPECT_EQ(platform.frequency(), 1'000'000'000u);
    const uint64_t before = platform.counter();
    platform.sleepMs(20);
    const uint64_t after = platform.counter();
    EXPECT_GE(after - before, 20'000'000u);

    std::tm now{};
    platform.localTime(&now);
    // Filled in at all: a zeroed record would say 0 January 1900.
    EXPECT_GE(now.tm_year + 1900, 1970);
    EXPECT_GE(now.tm_mday, 1);
    EXPECT_LE(now.tm_mday, 31);
    platform.localTime(nullptr);
}

// ---- The trace file in a working directory others may have prepared -----------------

TEST(AppendFileTest, OnlyARegularFileBelowARealFolderIsWritten) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("ebd_append_" + std::to_string(getpid()));
    const std::string folder = (root / "tracefiles").string(), file = folder + "/tracefile.txt";
    struct Case {
        const char* prepare;  // shell commands in `root`, beside other/victim.txt
        AppendProblem expected;
        bool reader = false;  // a reader holds the FIFO open
    };
    const std::vector<Case> cases{
        {"true", AppendProblem::None},
        {"mkdir tracefiles && ln -s ../other/victim.txt tracefiles/tracefile.txt", AppendProblem::Link},
        {"mkdir tracefiles && ln -s elsewhere.txt tracefiles/tracefile.txt", AppendProblem::Link},
        {"mkdir tracefiles && ln other/victim.txt tracefiles/tracefile.txt", AppendProblem::Link},
        {"mkdir tracefiles && mkfifo tracefiles/tracefile.txt", AppendProblem::NotRegularFile},
        {"mkdir tracefiles && mkfifo tracefiles/tracefile.txt", AppendProblem::NotRegularFile, true},
        {"mkdir -p tracefiles/tracefile.txt", AppendProblem::NotRegularFile},
        {"ln -s other tracefiles", AppendProblem::NotDirectory},
        {"echo x >tracefiles", AppendProblem::NotDirectory},
        {"mkdir -m 0555 tracefiles", AppendProblem::NoPermission},
    };
    const mode_t oldMask = umask(0);
    for (const Case& c : cases) {
        fs::create_directories(root / "other");
        std::ofstream((root / "other" / "victim.txt").string()) << "kept\n";
        ASSERT_EQ(std::system(("cd " + root.string() + " && " + c.prepare).c_str()), 0) << c.prepare;
        const int reader = c.reader ? ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        const auto start = Clock::now();
        AppendProblem problem = appendToFile(folder.c_str(), kTraceFileName, "line\n", 5).problem;
        if (geteuid() == 0 && c.expected == AppendProblem::NoPermission) {
            // Root writes anyway: an ordinary user tries, in a child process.
            const pid_t child = fork();
            if (child == 0)
                _exit(
                    setgid(65534) == 0 && setuid(65534) == 0
                        ? static_cast<int>(appendToFile(folder.c_str(), kTraceFileName, "line\n", 5).problem)
                        : 100);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            problem = static_cast<AppendProblem>(WEXITSTATUS(status));
        }
        EXPECT_EQ(problem, c.expected) << c.prepare;
        EXPECT_LT(msSince(start), 1000) << c.prepare;
        EXPECT_EQ(fs::file_size(root / "other" / "victim.txt"), 5u) << c.prepare;
        EXPECT_FALSE(fs::exists(root / "tracefiles" / "elsewhere.txt")) << c.prepare;
        char byte = 0;
        EXPECT_LE(reader < 0 ? 0 : ::read(reader, &byte, 1), 0) << "nothing reached the FIFO";
        ::close(reader);
        if (c.expected == AppendProblem::None) {
            // The widest modes the folder and the file are created with.
            EXPECT_EQ(fs::status(folder).permissions(), static_cast<fs::perms>(0755));
            EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0644));
        }
        chmod(folder.c_str(), 0755);
        fs::remove_all(root);
    }
    umask(oldMask);
}

}  // namespace
}  // namespace ebd::platform
