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
#include <string>
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
// Where a child is a copy of this process (Linux), it calls `attempt` itself.
// Where a child can only be a fresh program (Windows), it is this program run
// again with the arguments `arguments(port)` and the port in the environment
// variable kChildPortVariable; its main finds the port with ChildPort() and
// makes the attempt. `finished` is called in the parent as each child ends, in
// the order they end. Children still running at `deadline` are killed.
// Returns the results in the order of `ports`.
std::vector<ChildResult> RunInChildren(const std::vector<int>& ports,
                                       const std::function<int(int port)>& attempt,
                                       const std::function<std::vector<std::string>(int port)>& arguments,
                                       std::chrono::milliseconds deadline,
                                       const std::function<void(const ChildResult&)>& finished);

inline constexpr const char* kChildPortVariable = "EBD_AUTOSTART_OFF_CHILD_PORT";

// In a child that RunInChildren started as a fresh program: the port it is
// for (1 to 32). 0 in every other process.
int ChildPort();

}  // namespace ebd::app
