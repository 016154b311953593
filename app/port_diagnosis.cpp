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
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "app/cli_options.h"
#include "app/port_names.h"
#include "app/serial_devices.h"
#include "platform/platform.h"
#include "platform/port_map.h"
#include "platform/unique_handle.h"

namespace ebd::app {

namespace {

// The open and the lock are the library's, so that the answer matches what
// the library ran into.
constexpr int kOpenFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
// A machine runs far fewer processes; the bound only keeps the search finite.
constexpr int kMaxProcessesSearched = 100'000;
constexpr long kMaxDescriptorsSearched = 4'000'000;

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

std::string Described(const std::string& pid) {
    std::string name;
    std::ifstream comm("/proc/" + pid + "/comm");
    std::getline(comm, name);
    return "pid " + pid + (name.empty() ? "" : ", " + name);
}

// The number of the pseudo-terminal whose far (master) end the descriptor
// `fd` of process `pid` is, or -1. The process at the far end plays the
// device itself (module-sim does), and is no other user of it.
long PtyMasterIndex(const std::string& pid, const char* fd, const struct stat& target) {
    constexpr unsigned kTtyMajor = 5, kPtmxMinor = 2;
    if (major(target.st_rdev) != kTtyMajor || minor(target.st_rdev) != kPtmxMinor) return -1;
    std::ifstream info("/proc/" + pid + "/fdinfo/" + fd);
    for (std::string line; std::getline(info, line);) {
        if (line.rfind("tty-index:", 0) == 0) return std::strtol(line.c_str() + 10, nullptr, 10);
    }
    return -1;
}

// The pseudo-terminal number of a slave device, or -1 for any other device.
long PtySlaveIndex(dev_t device) {
    constexpr unsigned kFirstSlaveMajor = 136, kLastSlaveMajor = 143;
    if (major(device) < kFirstSlaveMajor || major(device) > kLastSlaveMajor) return -1;
    return static_cast<long>((major(device) - kFirstSlaveMajor) * 256 + minor(device));
}

// Every process other than this one with the character device `device` open,
// as "pid N, name": each descriptor in /proc/PID/fd is compared by device
// number, so that any name of the device matches. Whoever holds a lock on it
// has it open and is among them; /proc/locks alone would name the process
// that took the lock, which may have ended since. Only processes whose
// descriptors this user may read are seen.
std::vector<std::string> FindUsers(dev_t device) {
    std::vector<std::string> users;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return users;
    const std::string self = std::to_string(getpid());
    const long ptyIndex = PtySlaveIndex(device);
    int searched = 0;
    long descriptors = 0;
    while (const dirent* entry = readdir(proc)) {
        if (++searched > kMaxProcessesSearched || descriptors > kMaxDescriptorsSearched) break;
        const std::string pid = entry->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (fds == nullptr) continue;
        bool user = false;
        bool farEnd = false;
        while (const dirent* fd = readdir(fds)) {
            if (++descriptors > kMaxDescriptorsSearched) break;
            if (fd->d_name[0] == '.') continue;
            struct stat target {};
            if (stat((fdDir + "/" + fd->d_name).c_str(), &target) != 0 || !S_ISCHR(target.st_mode)) continue;
            if (target.st_rdev == device) user = true;
            if (ptyIndex >= 0 && PtyMasterIndex(pid, fd->d_name, target) == ptyIndex) farEnd = true;
        }
        closedir(fds);
        if (user && !farEnd) users.push_back(Described(pid));
    }
    closedir(proc);
    return users;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

// A group that may read and write the device and is not root's: joining it
// would let the user open the device.
std::string GroupToJoin(const struct stat& info) {
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || info.st_gid == 0) return {};
    return GroupName(info.st_gid);
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
    const platform::UniqueFd fd(::open(result.device.c_str(), kOpenFlags));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            result.problem = PortProblem::NoPermission;
            result.group = GroupToJoin(info);
        } else if (error == EBUSY) {
            // Another program set exclusive mode on it.
            result.problem = PortProblem::Held;
            result.holder = Joined(FindUsers(info.st_rdev));
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
            result.holder = Joined(FindUsers(info.st_rdev));
        } else {
            result.detail = std::strerror(errno);
        }
    }
    return result;
}

std::vector<std::string> OtherUsersOf(int port) {
    const std::string device = platform::devicePathFor(ComName(port).c_str());
    struct stat info {};
    if (device.empty() || stat(device.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return {};
    return FindUsers(info.st_rdev);
}

std::string DescribeOtherUsers(int port, const std::vector<std::string>& users) {
    if (users.empty()) return {};
    return ComName(port) + " (" + platform::devicePathFor(ComName(port).c_str()) +
           "): the module did not answer; also open in " +
           (users.size() == 1 ? "another program" : "other programs") + " (" + Joined(users) +
           "), which may take the module's replies: end it and try again";
}

std::string DescribePortProblem(int port, const PortDiagnosis& diagnosis, bool deviceGiven) {
    const std::string where = ComName(port) + " (" + diagnosis.device + "): ";
    switch (diagnosis.problem) {
        case PortProblem::None:
            return {};
        case PortProblem::NoDevice:
            if (diagnosis.device.empty()) return ComName(port) + ": no device for this port";
            if (deviceGiven) return where + "no such device; is the module plugged in?";
            // Point at whatever named the device: the environment, the map,
            // or nothing (the system's default device of the port).
            switch (platform::portMappingFor(static_cast<unsigned>(port)).source) {
                case platform::PortSource::Environment:
                    return where + "no such device; is the module plugged in, or does EBD_COM" +
                           std::to_string(port) + " name another device?";
                case platform::PortSource::Map:
                    return where + "no such device; is the module plugged in, or does the port map (" +
                           platform::portMapLocation() + ") name another device for " + ComName(port) + "?";
                case platform::PortSource::Default:
                    break;
            }
            return where + "no such device; is the module plugged in, or is it on another port?";
        case PortProblem::NotSerial:
            return where + "not a serial device";
        case PortProblem::NoPermission:
            if (diagnosis.group.empty())
                return where + "no permission; no group may use it: ask the administrator for access";
            return where + "no permission; members of the group '" + diagnosis.group +
                   "' may use it: root adds a user to it (usermod -aG " + diagnosis.group +
                   " USER), and it counts from the user's next login";
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
