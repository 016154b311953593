// Appending to a text file: one write per call on a descriptor opened for
// appending, so that what two threads or two processes append at the same time
// never interleaves inside one call's bytes.
#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include <cerrno>

#include "platform/platform.h"

namespace ebd::platform {

bool appendToFile(const char* path, const char* data, size_t size) {
    if (path == nullptr || (data == nullptr && size > 0)) return false;
#ifdef _WIN32
    // Text mode: each line feed is written as the platform's line end.
    const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_APPEND | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (fd < 0) return false;
    const bool written = _write(fd, data, static_cast<unsigned>(size)) == static_cast<int>(size);
    _close(fd);
    return written;
#else
    int fd = -1;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    ssize_t written = -1;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    ::close(fd);
    return written == static_cast<ssize_t>(size);
#endif
}

}  // namespace ebd::platform
