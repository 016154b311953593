#include "app/port_diagnosis.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/cli_options.h"
#include "app/port_names.h"
#include "app/serial_devices.h"
#include "platform/platform.h"
#include "platform/port_map.h"

namespace ebd::app {

namespace {

// The open and the lock are the library's, so that the answer matches what
// the library ran into.
constexpr int kOpenFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
// A machine runs far fewer processes; the bound only keeps the search finite.
constexpr int kMaxProcessesSearched = 100'000;

std::string ComName(int port) {
    return "COM" + std::to_string(port);
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->gr_name;
    return "gid " + std::to_string(gid);
}

// Closes the trial descriptor on every path.
class TrialFd {
public:
    explicit TrialFd(int fd) : fd_(fd) {}
    TrialFd(const TrialFd&) = delete;
    TrialFd& operator=(const TrialFd&) = delete;
    ~TrialFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::string Described(const std::string& pid) {
    std::string name;
    std::ifstream comm("/proc/" + pid + "/comm");
    std::getline(comm, name);
    return "pid " + pid + (name.empty() ? "" : ", " + name);
}

// The process that holds an exclusive lock on the device, as "pid N, name";
// /proc/locks names the lock's file by device numbers and inode.
std::string FindLockHolder(const struct stat& info) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        if (!(fields >> number >> kind >> mode >> access >> pid >> file) || kind != "FLOCK") continue;
        unsigned fileMajor = 0, fileMinor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &fileMajor, &fileMinor, &inode) != 3) continue;
        if (fileMajor != major(info.st_dev) || fileMinor != minor(info.st_dev) || inode != info.st_ino)
            continue;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        return Described(pid);
    }
    return {};
}

// A process other than this one with the device open, as "pid N, name". Only
// processes whose descriptors this user may read are seen.
std::string FindHolder(const std::string& device) {
    char resolved[PATH_MAX];
    if (realpath(device.c_str(), resolved) == nullptr) return {};
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return {};
    std::string holder;
    int searched = 0;
    while (const dirent* entry = readdir(proc)) {
        if (++searched > kMaxProcessesSearched || !holder.empty()) break;
        const std::string pid = entry->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        if (pid == std::to_string(getpid())) continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (fds == nullptr) continue;
        while (const dirent* fd = readdir(fds)) {
            char target[PATH_MAX];
            const std::string link = fdDir + "/" + fd->d_name;
            const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
            if (length <= 0) continue;
            target[length] = '\0';
            if (std::strcmp(target, resolved) != 0) continue;
            holder = Described(pid);
            break;
        }
        closedir(fds);
    }
    closedir(proc);
    return holder;
}

}  // namespace

PortDiagnosis DiagnosePort(int port) {
    PortDiagnosis result;
    result.device = platform::devicePathFor(ComName(port).c_str());
    if (result.device.empty()) {
        result.problem = PortProblem::NoDevice;
        return result;
    }
    struct stat info {};
    if (stat(result.device.c_str(), &info) != 0) {
        result.problem = errno == ENOENT || errno == ENOTDIR ? PortProblem::NoDevice : PortProblem::Other;
        result.detail = std::strerror(errno);
        return result;
    }
    if (!S_ISCHR(info.st_mode)) {
        result.problem = PortProblem::NotSerial;
        return result;
    }
    const TrialFd fd(::open(result.device.c_str(), kOpenFlags));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            result.problem = PortProblem::NoPermission;
            result.group = GroupName(info.st_gid);
        } else if (error == EBUSY) {
            // Another program set exclusive mode on it; if it took the lock
            // too, the lock names it.
            result.problem = PortProblem::Held;
            result.holder = FindLockHolder(info);
            if (result.holder.empty()) result.holder = FindHolder(result.device);
        } else if (error == ENXIO || error == ENODEV || error == EIO) {
            // The node exists, but no hardware answers behind it.
            result.problem = PortProblem::NoDevice;
        } else {
            result.problem = PortProblem::Other;
            result.detail = std::strerror(error);
        }
        return result;
    }
    if (!isatty(fd.get())) {
        result.problem = PortProblem::NotSerial;
        return result;
    }
    // The lock goes with the descriptor when it closes.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        result.problem = errno == EWOULDBLOCK ? PortProblem::Held : PortProblem::Other;
        if (result.problem == PortProblem::Held) {
            result.holder = FindLockHolder(info);
        } else {
            result.detail = std::strerror(errno);
        }
    }
    return result;
}

std::string DescribePortProblem(int port, const PortDiagnosis& diagnosis) {
    const std::string where = ComName(port) + " (" + diagnosis.device + "): ";
    switch (diagnosis.problem) {
        case PortProblem::None:
            return {};
        case PortProblem::NoDevice:
            if (diagnosis.device.empty()) return ComName(port) + ": no device for this port";
            return where + "no such device; is the module plugged in, or does EBD_COM" +
                   std::to_string(port) + " name another device?";
        case PortProblem::NotSerial:
            return where + "not a serial device";
        case PortProblem::NoPermission:
            return where + "no permission; join the group '" + diagnosis.group + "' (usermod -aG " +
                   diagnosis.group + " $USER) and log in again";
        case PortProblem::Held:
            return where + "held by another program" +
                   (diagnosis.holder.empty() ? std::string() : " (" + diagnosis.holder + ")") +
                   "; modem managers often hold modem ports: stop it or make it leave this port alone";
        case PortProblem::Other:
            break;
    }
    return where + "cannot be opened: " + diagnosis.detail;
}

std::string ListPorts(const std::string& root) {
    std::string text;
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const std::string com = ComName(port);
        const platform::PortMapping mapping = platform::portMappingFor(static_cast<unsigned>(port));
        const std::string& device = mapping.device;
        std::string state;
        struct stat info {};
        if (stat(device.c_str(), &info) != 0) {
            state = "missing";
        } else if (!S_ISCHR(info.st_mode)) {
            state = "present, not a device";
        } else if (access(device.c_str(), R_OK | W_OK) != 0) {
            state = "present, no permission (group " + GroupName(info.st_gid) + ")";
        } else {
            state = "present";
        }
        char line[512];
        std::snprintf(line, sizeof line, "%-6s %-28s %-11s %s\n", com.c_str(), device.c_str(),
                      platform::portSourceName(mapping.source), state.c_str());
        text += line;
    }
    return text + PortMapNotes() + "\n" + SerialDeviceListing(FindSerialDevices(root));
}

std::string DeviceUsage() {
    return "  --device PATH    use the device PATH for the port of the --port before it (or of\n"
           "                   the only --port) in this run, instead of EBD_COM<N> or /dev/ttyS<N-1>;\n"
           "                   a /dev/serial/by-id name stays with its adapter on any USB socket\n";
}

std::string ListPortsUsage() {
    return "  --list-ports     list COM1 to COM32 with their devices, then the serial devices\n"
           "                   there are with their by-id names, USB ids, manufacturer, product,\n"
           "                   serial number and COM numbers, and stop; opens no port\n";
}

}  // namespace ebd::app
