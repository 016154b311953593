// The state directory on POSIX systems. Every file operation goes through a
// descriptor of the directory itself (openat, renameat, unlinkat), so that
// nobody can swap the directory under a check, and no link is followed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/state_files.h"
#include "platform/unique_handle.h"

namespace ebd::platform {

namespace {

// Owner alone: what the state holds is nobody else's to change.
constexpr mode_t kDirectoryMode = 0700;
constexpr mode_t kFileMode = 0600;

// A directory we may trust: a real directory, not writable by everybody, owned
// by this user or by root.
bool Trusted(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if ((st.st_mode & S_IWOTH) != 0) return false;
    return st.st_uid == ::geteuid() || st.st_uid == 0;
}

// Opens the state directory; creates it first when `create` is set. An
// invalid UniqueFd with *missing set when it is not there.
UniqueFd OpenDirectory(bool create, bool* missing) {
    const std::string path = stateDirectory();
    *missing = false;
    if (create && ::mkdir(path.c_str(), kDirectoryMode) != 0 && errno != EEXIST) return UniqueFd();
    UniqueFd fd(RetryOnInterrupt(
        [&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    if (!fd.valid()) {
        *missing = errno == ENOENT;
        return UniqueFd();
    }
    if (!Trusted(fd.get())) return UniqueFd();
    return fd;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = RetryOnInterrupt([&] { return ::write(fd, data, size); });
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

std::string defaultStateDirectory() {
    return "/var/lib/ebd";
}

bool listStateFiles(const char* suffix, std::vector<std::string>* names) {
    names->clear();
    bool missing = false;
    UniqueFd dirFd = OpenDirectory(false, &missing);
    if (!dirFd.valid()) return missing;
    const int listFd = ::dup(dirFd.get());
    if (listFd < 0) return false;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return false;
    }
    const std::string end = suffix;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isPlainStateName(name) || name.size() <= end.size() ||
            name.compare(name.size() - end.size(), end.size(), end) != 0)
            continue;
        struct stat st {};
        if (::fstatat(dirFd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            names->push_back(name);
    }
    ::closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
}

StateRead readStateFile(const std::string& name, size_t maxSize, std::vector<uint8_t>* data) {
    data->clear();
    if (!isPlainStateName(name)) return StateRead::Failed;
    bool missing = false;
    UniqueFd dirFd = OpenDirectory(false, &missing);
    if (!dirFd.valid()) return missing ? StateRead::Missing : StateRead::Failed;
    UniqueFd fd(RetryOnInterrupt(
        [&] { return ::openat(dirFd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); }));
    if (!fd.valid()) return errno == ENOENT ? StateRead::Missing : StateRead::Failed;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<uint64_t>(st.st_size) > maxSize)
        return StateRead::Failed;
    data->resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < data->size()) {
        const ssize_t n =
            RetryOnInterrupt([&] { return ::read(fd.get(), data->data() + got, data->size() - got); });
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    // A file that changed its length while we read is read as what we got;
    // the journal's checksums judge it.
    data->resize(got);
    return StateRead::Done;
}

bool writeStateFile(const std::string& name, const uint8_t* data, size_t size) {
    if (!isPlainStateName(name) || (data == nullptr && size > 0)) return false;
    bool missing = false;
    UniqueFd dirFd = OpenDirectory(true, &missing);
    if (!dirFd.valid()) return false;
    const std::string temporary = name + ".new";
    ::unlinkat(dirFd.get(), temporary.c_str(), 0);
    bool done = false;
    {
        UniqueFd fd(RetryOnInterrupt([&] {
            return ::openat(dirFd.get(), temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
        }));
        if (!fd.valid()) return false;
        done = WriteAll(fd.get(), data, size) && ::fsync(fd.get()) == 0;
    }
    done = done && ::renameat(dirFd.get(), temporary.c_str(), dirFd.get(), name.c_str()) == 0;
    if (!done) {
        ::unlinkat(dirFd.get(), temporary.c_str(), 0);
        return false;
    }
    return ::fsync(dirFd.get()) == 0;
}

bool removeStateFile(const std::string& name) {
    if (!isPlainStateName(name)) return false;
    bool missing = false;
    UniqueFd dirFd = OpenDirectory(false, &missing);
    if (!dirFd.valid()) return missing;
    if (::unlinkat(dirFd.get(), name.c_str(), 0) != 0) return errno == ENOENT;
    return ::fsync(dirFd.get()) == 0;
}

bool moveStateFileAside(const std::string& name, const std::string& newName) {
    if (!isPlainStateName(name) || !isPlainStateName(newName)) return false;
    bool missing = false;
    UniqueFd dirFd = OpenDirectory(false, &missing);
    if (!dirFd.valid()) return false;
    // A hard link never replaces a file; the old name goes once the new one is
    // there. A file system without hard links gets a rename after a look.
    if (::linkat(dirFd.get(), name.c_str(), dirFd.get(), newName.c_str(), 0) == 0) {
        if (::unlinkat(dirFd.get(), name.c_str(), 0) != 0) return false;
    } else {
        struct stat st {};
        if ((errno != EPERM && errno != EOPNOTSUPP) ||
            ::fstatat(dirFd.get(), newName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ||
            ::renameat(dirFd.get(), name.c_str(), dirFd.get(), newName.c_str()) != 0)
            return false;
    }
    return ::fsync(dirFd.get()) == 0;
}

}  // namespace ebd::platform
