// Appending to the trace file: one write per call on a descriptor opened for
// appending, so that what two threads or two processes append at the same time
// never interleaves inside one call's bytes. The working directory may be
// writable by others: nothing there is followed or waited on, and nothing but
// a regular file is written to.
#include <cerrno>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ebd::platform {

namespace {

#ifdef _WIN32

constexpr char kSeparator = '\\';

AppendResult Refused(AppendProblem problem, unsigned long error = 0) {
    return {problem, error};
}

OVERLAPPED AppendersLockPlace() {
    OVERLAPPED place{};
    place.Offset = 0;
    place.OffsetHigh = 0x40000000;  // 2^62: no trace file grows that far
    return place;
}

// Waits at most about a second for the other appenders' turn; false when it
// did not come, and the line is written all the same.
bool LockAppenders(HANDLE file) {
    constexpr int kTries = 1000;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        OVERLAPPED place = AppendersLockPlace();
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place))
            return true;
        if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) return false;
        Sleep(1);
    }
    return false;
}

AppendResult AppendToFileIn(const std::string& path, const char* data, size_t size) {
    // Appending only: the system puts each write at the end of the file, also
    // when other processes append to it at the same time. A link or junction
    // at the path is opened itself and refused below, never followed.
    const UniqueHandle file(
        CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return Refused(AppendProblem::Link);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return Refused(AppendProblem::NotRegularFile);
        return Refused(error == ERROR_ACCESS_DENIED ? AppendProblem::NoPermission : AppendProblem::Other,
                       error);
    }
    AppendResult result;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info)) {
        result = Refused(AppendProblem::NotRegularFile);
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info.nNumberOfLinks > 1) {
        result = Refused(AppendProblem::Link);
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result = Refused(AppendProblem::NotRegularFile);
    } else if (size > 0) {
        // Text mode: each line feed becomes the system's line end. The whole
        // text goes out in one write, so that no other process's line lands
        // inside it.
        std::string text;
        text.reserve(size + 8);
        for (size_t i = 0; i < size; ++i) {
            if (data[i] == '\n') text += '\r';
            text += data[i];
        }
        // Not every implementation of the system finds the end of the file
        // and writes there in one step: appenders also take turns on one byte
        // far beyond any end of file, for a bounded time.
        const bool locked = LockAppenders(file.get());
        DWORD written = 0;
        if (text.size() > 0xFFFFFFFFu ||
            !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size())
            result = Refused(AppendProblem::Other, GetLastError());
        if (locked) {
            OVERLAPPED place = AppendersLockPlace();
            UnlockFileEx(file.get(), 0, 1, 0, &place);
        }
    }
    return result;
}

AppendResult AppendWin32(const std::string& directory, const std::string& path, const char* data,
                         size_t size) {
    CreateDirectoryA(directory.c_str(), nullptr);
    // The folder is held open, without leave to delete or rename it, until
    // the file is closed, so that it cannot be swapped for a junction
    // between the check and the open of the file.
    const UniqueHandle folder(
        CreateFileA(directory.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder.valid()) {
        const DWORD error = GetLastError();
        return Refused(error == ERROR_ACCESS_DENIED ? AppendProblem::NoPermission : AppendProblem::Other,
                       error);
    }
    BY_HANDLE_FILE_INFORMATION folderInfo{};
    const bool isFolder = GetFileInformationByHandle(folder.get(), &folderInfo) &&
                          (folderInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                          (folderInfo.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    if (!isFolder) return Refused(AppendProblem::NotDirectory);
    return AppendToFileIn(path, data, size);
}

#else

constexpr char kSeparator = '/';

AppendResult Refused(AppendProblem problem, int error = 0) {
    return {problem, static_cast<unsigned long>(error)};
}

AppendProblem ProblemOf(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return AppendProblem::NoPermission;
        default:
            return AppendProblem::Other;
    }
}

AppendResult AppendPosix(const char* directory, const char* name, const char* data, size_t size) {
    // The folder is opened first and the file below it, so that neither can
    // be swapped for a link between a check and the open.
    constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    const auto openFolder = [&] { return RetryOnInterrupt([&] { return ::open(directory, kFolderFlags); }); };
    int folderFd = openFolder();
    if (folderFd < 0 && errno == ENOENT) {
        if (::mkdir(directory, 0755) != 0 && errno != EEXIST) return Refused(ProblemOf(errno), errno);
        folderFd = openFolder();
    }
    if (folderFd < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR) return Refused(AppendProblem::NotDirectory, error);
        return Refused(ProblemOf(error), error);
    }
    const UniqueFd folder(folderFd);
    // Without blocking, so that a FIFO cannot hold the caller; a link is
    // refused, whatever it points to.
    const UniqueFd file(RetryOnInterrupt([&] {
        return ::openat(folder.get(), name,
                        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    }));
    if (file.get() < 0) {
        const int error = errno;
        if (error == ELOOP) return Refused(AppendProblem::Link, error);
        // EISDIR: a folder; ENXIO: a FIFO nobody reads; ETXTBSY and the like.
        if (error == EISDIR || error == ENXIO || error == ENODEV || error == ETXTBSY)
            return Refused(AppendProblem::NotRegularFile, error);
        return Refused(ProblemOf(error), error);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return Refused(AppendProblem::Other, errno);
    if (!S_ISREG(info.st_mode)) return Refused(AppendProblem::NotRegularFile);
    // A second name of the file elsewhere (a hard link) would let whoever
    // made it choose what this process appends to.
    if (info.st_nlink > 1) return Refused(AppendProblem::Link);
    if (size == 0) return {};
    const ssize_t written = RetryOnInterrupt([&] { return ::write(file.get(), data, size); });
    if (written != static_cast<ssize_t>(size))
        return Refused(AppendProblem::Other, written < 0 ? errno : ENOSPC);
    return {};
}

#endif

}  // namespace

std::string joinPath(const char* directory, const char* name) {
    return std::string(directory != nullptr ? directory : "") + kSeparator + (name != nullptr ? name : "");
}

AppendResult appendToFile(const char* directory, const char* name, const char* data, size_t size) {
    if (directory == nullptr || name == nullptr || (data == nullptr && size > 0))
        return {AppendProblem::Other, 0};
#ifdef _WIN32
    return AppendWin32(directory, joinPath(directory, name), data, size);
#else
    return AppendPosix(directory, name, data, size);
#endif
}

std::string describeAppendProblem(const AppendResult& result, const char* directory, const char* name) {
    const std::string path = joinPath(directory, name);
    switch (result.problem) {
        case AppendProblem::None:
            return {};
        case AppendProblem::NotDirectory:
            return std::string(directory) + " is a link or not a folder";
        case AppendProblem::Link:
            return path + " is a link";
        case AppendProblem::NotRegularFile:
            return path + " is not a regular file";
        case AppendProblem::NoPermission:
            return "no permission to write " + path;
        case AppendProblem::Other:
            break;
    }
#ifdef _WIN32
    return "cannot write " + path + " (error " + std::to_string(result.systemError) + ")";
#else
    return "cannot write " + path +
           (result.systemError != 0 ? ": " + std::string(std::strerror(static_cast<int>(result.systemError)))
                                    : std::string());
#endif
}

}  // namespace ebd::platform
