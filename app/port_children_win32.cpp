// Several ports at once on Windows: each attempt runs in a child process of its
// own, started with CreateProcess as this program again for one port, so that
// one port's crash cannot take the others down.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/cli_options.h"
#include "app/port_children.h"

namespace ebd::app {

namespace {

// An exit code in the range of the system's exception codes (an access
// violation is 0xC0000005) means the child crashed; no outcome comes near it.
constexpr DWORD kFirstExceptionCode = 0xC0000000;
// How long a child that was told to terminate may take to be gone.
constexpr DWORD kTerminateWaitMs = 5000;

// One argument as the C runtime of the child splits its command line again:
// quoted when it holds blanks or quotes, with the backslashes before a quote
// doubled.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

std::string ThisProgram() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

struct Child {
    HANDLE process = nullptr;
    bool done = false;
};

void Record(ChildResult& result, HANDLE process) {
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code) || result.timedOut) return;
    if (code >= kFirstExceptionCode) return;  // crashed: no exit status
    result.exited = true;
    result.status = static_cast<int>(code);
}

}  // namespace

int ChildPort() {
    const char* text = std::getenv(kChildPortVariable);
    if (text == nullptr) return 0;
    char* end = nullptr;
    const long port = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || port < kFirstPort || port > kLastPort) return 0;
    return static_cast<int>(port);
}

std::vector<ChildResult> RunInChildren(const std::vector<int>& ports, const std::function<int(int port)>&,
                                       const std::function<std::vector<std::string>(int port)>& arguments,
                                       std::chrono::milliseconds deadline,
                                       const std::function<void(const ChildResult&)>& finished) {
    std::vector<ChildResult> results(ports.size());
    std::vector<Child> children(ports.size());
    // Lines written so far must not appear after a child's.
    std::fflush(nullptr);
    const std::string program = ThisProgram();

    for (size_t i = 0; i < ports.size(); ++i) {
        results[i].port = ports[i];
        std::string commandLine = Quoted(program);
        if (arguments) {
            for (const std::string& argument : arguments(ports[i])) {
                commandLine += ' ';
                commandLine += Quoted(argument);
            }
        }
        // The child inherits the environment with its port in it, and the
        // standard handles, so that its lines land where the parent's do.
        SetEnvironmentVariableA(kChildPortVariable, std::to_string(ports[i]).c_str());
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION info{};
        const BOOL started =
            !program.empty() && CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                               nullptr, nullptr, &startup, &info);
        SetEnvironmentVariableA(kChildPortVariable, nullptr);
        if (!started) {
            children[i].done = true;
            if (finished) finished(results[i]);
            continue;
        }
        CloseHandle(info.hThread);
        children[i].process = info.hProcess;
    }

    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        std::vector<HANDLE> waiting;
        std::vector<size_t> index;
        for (size_t i = 0; i < children.size(); ++i) {
            if (children[i].done) continue;
            waiting.push_back(children[i].process);
            index.push_back(i);
        }
        if (waiting.empty()) break;

        const auto now = std::chrono::steady_clock::now();
        if (now >= end) {
            // Stop exactly the children that are still running; each is
            // reaped below once it is gone.
            for (size_t i : index) {
                if (results[i].timedOut) continue;
                results[i].timedOut = true;
                TerminateProcess(children[i].process, 1);
            }
        }
        const DWORD waitMs =
            now >= end ? kTerminateWaitMs
                       : static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(end - now).count());
        // At most 32 ports, well within the 64 handles one wait can take.
        const DWORD woke =
            WaitForMultipleObjects(static_cast<DWORD>(waiting.size()), waiting.data(), FALSE, waitMs);
        if (woke >= WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + waiting.size()) {
            const size_t i = index[woke - WAIT_OBJECT_0];
            Record(results[i], children[i].process);
            CloseHandle(children[i].process);
            children[i].done = true;
            if (finished) finished(results[i]);
        } else if (woke != WAIT_TIMEOUT || now >= end) {
            // The wait itself failed, or terminated children did not go in
            // time: give them up rather than wait for ever.
            for (size_t i : index) {
                CloseHandle(children[i].process);
                children[i].done = true;
                if (finished) finished(results[i]);
            }
        }
    }
    return results;
}

}  // namespace ebd::app
