// The lock of the library's few shared tables (the port table's claims, the
// exit records, the trace file, the platforms' port tables). It is std::mutex
// where the C++ library has threads; a Windows tool chain built without them
// (mingw-w64's win32 thread model) gets a slim reader/writer lock instead.
#pragma once

// std::lock_guard and std::scoped_lock work with either.
#include <mutex>

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace ebd::platform {

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};
#else
using Mutex = std::mutex;
#endif

}  // namespace ebd::platform
