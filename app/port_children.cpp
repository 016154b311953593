#include "app/port_children.h"

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace ebd::app {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

struct Child {
    pid_t pid = -1;
    bool done = false;
};

void Record(ChildResult& result, int waitStatus) {
    if (WIFEXITED(waitStatus)) {
        result.exited = true;
        result.status = WEXITSTATUS(waitStatus);
    } else if (WIFSIGNALED(waitStatus)) {
        result.signal = WTERMSIG(waitStatus);
    }
}

void Nap() {
    timespec interval{0, std::chrono::duration_cast<std::chrono::nanoseconds>(kPollInterval).count()};
    nanosleep(&interval, nullptr);
}

}  // namespace

// Children here are copies of this process: none is a fresh program.
int ChildPort() {
    return 0;
}

std::vector<ChildResult> RunInChildren(const std::vector<int>& ports,
                                       const std::function<int(int port)>& attempt,
                                       const std::function<std::vector<std::string>(int port)>&,
                                       std::chrono::milliseconds deadline,
                                       const std::function<void(const ChildResult&)>& finished) {
    std::vector<ChildResult> results(ports.size());
    std::vector<Child> children(ports.size());
    // Buffered output would otherwise be written once more by every child.
    std::fflush(nullptr);

    for (size_t i = 0; i < ports.size(); ++i) {
        results[i].port = ports[i];
        const pid_t pid = fork();
        if (pid == 0) {
            int status = 70;
            try {
                status = attempt(ports[i]);
            } catch (...) {
            }
            std::fflush(nullptr);
            _exit(status);
        }
        if (pid < 0) {
            children[i].done = true;
            if (finished) finished(results[i]);
            continue;
        }
        children[i].pid = pid;
    }

    const auto end = std::chrono::steady_clock::now() + deadline;
    size_t running = 0;
    for (const Child& child : children) running += child.done ? 0 : 1;
    while (running > 0) {
        if (std::chrono::steady_clock::now() >= end) {
            // Stop exactly the children that are still running; SIGKILL
            // cannot be ignored, so they are reaped on one of the next rounds.
            for (size_t i = 0; i < children.size(); ++i) {
                if (children[i].done || results[i].timedOut) continue;
                results[i].timedOut = true;
                kill(children[i].pid, SIGKILL);
            }
        }
        for (size_t i = 0; i < children.size(); ++i) {
            Child& child = children[i];
            if (child.done) continue;
            int waitStatus = 0;
            const pid_t reaped = waitpid(child.pid, &waitStatus, WNOHANG);
            if (reaped == 0 || (reaped < 0 && errno == EINTR)) continue;
            if (reaped == child.pid) Record(results[i], waitStatus);
            child.done = true;
            --running;
            if (finished) finished(results[i]);
        }
        if (running > 0) Nap();
    }
    return results;
}

}  // namespace ebd::app
