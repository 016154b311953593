// Several ports at once: each attempt runs in a child process of its own, all
// children at the same time, and each is waited for no longer than a deadline.
// The library would serve the ports from threads of one process as well, but a
// child keeps what a thread cannot: a crash in one port's run leaves the others
// running, a run stuck past the deadline can be killed, and each attempt
// initialises the library as the window does (WInitLibrary ends every session
// of its process).
#pragma once

#include <chrono>
#include <functional>
#include <vector>

namespace ebd::app {

struct ChildResult {
    int port = 0;
    int status = 0;         // the child's exit status; valid when `exited`
    bool exited = false;    // false: it could not start, was killed by a signal or timed out
    bool timedOut = false;  // it was stopped at the deadline
    int signal = 0;         // the signal that ended it, if any
};

// Runs `attempt(port)` in one child per port; the child exits with its result.
// `finished` is called in the parent as each child ends, in the order they end.
// Children still running at `deadline` are killed. Returns the results in the
// order of `ports`.
std::vector<ChildResult> RunInChildren(const std::vector<int>& ports,
                                       const std::function<int(int port)>& attempt,
                                       std::chrono::milliseconds deadline,
                                       const std::function<void(const ChildResult&)>& finished);

}  // namespace ebd::app
