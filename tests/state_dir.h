// A state directory of the test's own: a fresh, empty folder that EBD_STATE_DIR
// names while the object lives, removed with what it holds afterwards.
#pragma once

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace ebd::test {

class TempStateDir {
public:
    TempStateDir() {
        static int counter = 0;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 1000; ++attempt) {
            path_ = base / ("ebd-state-" + std::to_string(Pid()) + "-" + std::to_string(counter++));
            std::error_code error;
            if (std::filesystem::create_directory(path_, error)) break;
        }
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        Set(path_.string().c_str());
    }
    ~TempStateDir() {
        Set(nullptr);
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    const std::filesystem::path& path() const { return path_; }
    // Points EBD_STATE_DIR at `value` (nullptr: unset).
    static void Set(const char* value) {
#ifdef _WIN32
        _putenv_s("EBD_STATE_DIR", value != nullptr ? value : "");
#else
        if (value != nullptr)
            setenv("EBD_STATE_DIR", value, 1);
        else
            unsetenv("EBD_STATE_DIR");
#endif
    }

private:
    static long Pid() {
#ifdef _WIN32
        return _getpid();
#else
        return getpid();
#endif
    }
    std::filesystem::path path_;
};

}  // namespace ebd::test
