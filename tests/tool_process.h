// Running the built tools from tests: a program with its output captured and
// a deadline, and module-sim in the background for as long as a test needs it.
// Every child is ended by its own pid, never by name.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace ebd::test {

struct ToolRun {
    int status = -1;  // exit status; -1 when it did not exit by itself
    bool timedOut = false;
    std::string out;
    std::string err;
};

namespace detail {

inline pid_t Spawn(const std::vector<std::string>& argv,
                   const std::vector<std::pair<std::string, std::string>>& env, int outFd, int errFd) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        dup2(outFd, STDOUT_FILENO);
        if (errFd >= 0) dup2(errFd, STDERR_FILENO);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

inline int StatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}

}  // namespace detail

// Runs a program to its end; after `timeout` it is killed.
inline ToolRun RunTool(const std::vector<std::string>& argv,
                       const std::vector<std::pair<std::string, std::string>>& env = {},
                       std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    ToolRun run;
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return run;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]), close(out[1]);
        return run;
    }
    const pid_t pid = detail::Spawn(argv, env, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    int open = pid > 0 ? 2 : 0;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    close(out[0]);
    close(err[0]);
    if (pid <= 0) return run;
    if (run.timedOut) kill(pid, SIGKILL);
    int waitStatus = 0;
    waitpid(pid, &waitStatus, 0);
    if (!run.timedOut) run.status = detail::StatusOf(waitStatus);
    return run;
}

// module-sim running in the background; ended with SIGTERM by its pid.
class ModuleSimProcess {
public:
    explicit ModuleSimProcess(const std::string& program, const std::vector<std::string>& options = {}) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), options.begin(), options.end());
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = detail::Spawn(argv, {}, out[1], -1);
        close(out[1]);
        device_ = readLine(out[0], std::chrono::seconds(5));
        close(out[0]);
    }
    ModuleSimProcess(const ModuleSimProcess&) = delete;
    ModuleSimProcess& operator=(const ModuleSimProcess&) = delete;
    ~ModuleSimProcess() { stop(SIGTERM); }

    // The device it serves; empty when it did not start.
    const std::string& device() const { return device_; }
    pid_t pid() const { return pid_; }

    // Sends `signal` and waits for the end; the exit status, or -1 when it had
    // to be killed or did not exit by itself.
    int stop(int signal) {
        if (pid_ <= 0) return status_;
        kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        int waitStatus = 0;
        pid_t reaped = 0;
        while ((reaped = waitpid(pid_, &waitStatus, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            usleep(5000);
        if (reaped == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &waitStatus, 0);
            status_ = -1;
        } else {
            status_ = detail::StatusOf(waitStatus);
        }
        pid_ = -1;
        return status_;
    }

private:
    static std::string readLine(int fd, std::chrono::milliseconds timeout) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (line.empty() || line.back() != '\n') {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd entry{fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) return {};
            char c = 0;
            if (read(fd, &c, 1) != 1) return {};
            line.push_back(c);
        }
        line.pop_back();
        return line;
    }

    pid_t pid_ = -1;
    int status_ = -1;
    std::string device_;
};

}  // namespace ebd::test
