// autostart-off: the autostart-off workflow on the command line, for stations
// without a display and for scripts.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "app/exit_status.h"
#include "app/port_children.h"
#include "app/port_diagnosis.h"
#include "app/workflow.h"
#include "lib/ebd.h"
#include "platform/platform.h"
#include "platform/port_map.h"

#ifndef EBD_TOOL_VERSION
#define EBD_TOOL_VERSION "unknown"
#endif

namespace {

using namespace ebd::app;

constexpr const char* kProgram = "autostart-off";
// Far beyond the longest attempt the library can make (boot, detection and
// five switch-off requests with their waits); only a stuck child reaches it.
constexpr std::chrono::seconds kChildDeadline{120};

// Prefix of the lines on standard error: the program alone, or the port when
// several ports run at once.
std::string g_prefix = std::string(kProgram) + ": ";

int32_t PrintTraceLine(uint32_t, const char* line) {
    std::fprintf(stderr, "%s%s\n", g_prefix.c_str(), line);
    return 0;
}

// Says once, before any attempt, when the trace file cannot be written and
// why; the attempts go on without it.
void ReportTraceFileProblem() {
    using namespace ebd::platform;
    const AppendResult check = appendToFile(kTraceDirectory, kTraceFileName, nullptr, 0);
    if (!check)
        std::fprintf(stderr, "%sthe trace file is not written: %s\n", g_prefix.c_str(),
                     describeAppendProblem(check, kTraceDirectory, kTraceFileName).c_str());
}

// Ports whose device the user named with --device.
std::vector<int> g_devicesGiven;

// One attempt; says on standard error why the port could not be opened, or
// which other programs have it open when the module stayed silent.
Outcome AttemptPort(int port, bool verbose) {
    const ebd::app::Attempt attempt = RunAutostartOff(port, verbose ? static_cast<uint32_t>(port) : 0);
    std::string why;
    if (port != 0 && !attempt.opened) {
        const bool deviceGiven =
            std::find(g_devicesGiven.begin(), g_devicesGiven.end(), port) != g_devicesGiven.end();
        why = DescribePortProblem(port, DiagnosePort(port), deviceGiven);
    } else if (port != 0 && attempt.outcome == Outcome::CannotConnect) {
        why = DescribeOtherUsers(port, OtherUsersOf(port));
    }
    if (!why.empty()) std::fprintf(stderr, "%s%s\n", g_prefix.c_str(), why.c_str());
    return attempt.outcome;
}

// The attempt of one port among several, in its child process: its lines on
// standard error carry the port, its outcome is its exit status.
int AttemptInChild(int port, bool verbose) {
    g_prefix = "COM" + std::to_string(port) + ": ";
    // A child that aborts must not look like an outcome: the C runtime of
    // Windows ends an aborted program with status 3.
    std::signal(SIGABRT, [](int) { std::_Exit(kExitSoftware); });
    return ExitStatusFor(AttemptPort(port, verbose));
}

// The command line of a child that is started as a fresh program.
std::vector<std::string> ChildArguments(const CliOptions& options, int port) {
    std::vector<std::string> arguments{"--port", std::to_string(port)};
    for (const auto& [devicePort, path] : options.devices) {
        if (devicePort == port) arguments.insert(arguments.end(), {"--device", path});
    }
    if (options.trace) arguments.emplace_back("--trace");
    if (options.verbose) arguments.emplace_back("--verbose");
    return arguments;
}

// Makes the device of a port known to the library and to child processes.
void SetDevice(int port, const std::string& path) {
    const std::string variable = "EBD_COM" + std::to_string(port);
#ifdef _WIN32
    _putenv_s(variable.c_str(), path.c_str());
#else
    setenv(variable.c_str(), path.c_str(), 1);
#endif
}

// Changes the port map in the order given; stops at the first change the
// settings store refuses.
int ChangePortMap(const CliOptions& options) {
    for (const PortMapChange& change : options.mapChanges) {
        const auto port = static_cast<unsigned>(change.port);
        const std::string com = "COM" + std::to_string(change.port);
        const std::string failure = change.device.empty() ? ebd::platform::unmapPort(port)
                                                          : ebd::platform::mapPort(port, change.device);
        if (!failure.empty()) {
            std::fprintf(stderr, "%s: %s: %s\n", kProgram, com.c_str(), failure.c_str());
            return kExitCannotWrite;
        }
        const std::string where = ebd::platform::portMapLocation();
        if (change.device.empty()) {
            std::printf("%s: no longer in %s\n", com.c_str(), where.c_str());
        } else {
            std::printf("%s: %s, in %s\n", com.c_str(), change.device.c_str(), where.c_str());
        }
    }
    return 0;
}

int RunSeveral(const CliOptions& options) {
    int highest = 0;
    const bool verbose = options.verbose;
    const auto inChild = [verbose](int port) { return AttemptInChild(port, verbose); };
    const auto arguments = [&options](int port) { return ChildArguments(options, port); };
    const auto finished = [&highest, &options](const ChildResult& child) {
        const std::string com = PortLabel(options, child.port) + ": ";
        int status = child.exited ? child.status : kExitSoftware;
        if (child.timedOut) {
            std::fprintf(stderr, "%sno outcome after %lld s, attempt stopped\n", com.c_str(),
                         static_cast<long long>(kChildDeadline.count()));
        } else if (!child.exited) {
            const std::string signal =
                child.signal != 0 ? " (signal " + std::to_string(child.signal) + ")" : "";
            std::fprintf(stderr, "%sthe attempt ended abnormally%s\n", com.c_str(), signal.c_str());
        }
        const std::optional<Outcome> outcome = OutcomeForExitStatus(status);
        if (outcome) {
            std::printf("%s%s\n", com.c_str(), MessageFor(*outcome).text);
        } else {
            status = kExitSoftware;
            std::printf("%sno outcome\n", com.c_str());
        }
        std::fflush(stdout);
        highest = std::max(highest, status);
    };
    RunInChildren(options.ports, inChild, arguments, kChildDeadline, finished);
    return highest;
}

int Run(const std::vector<std::string>& args) {
    const CliParse parse = ParseCliOptions(args);
    if (!parse.options) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, parse.error.c_str(),
                     kProgram);
        return kExitUsage;
    }
    const CliOptions& options = *parse.options;
    if (options.help) {
        std::fputs(UsageText(kProgram).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", kProgram, EBD_TOOL_VERSION);
        return 0;
    }
    if (!options.mapChanges.empty()) {
        if (const int status = ChangePortMap(options); status != 0) return status;
        if (!options.listPorts) return 0;
    }
    // The library and the listing find the devices through the environment.
    for (const auto& [port, path] : options.devices) {
        SetDevice(port, path);
        g_devicesGiven.push_back(port);
    }
    if (options.listPorts) {
        std::fputs(ListPorts().c_str(), stdout);
        return 0;
    }
    if (options.trace) WEnableTraceFile();
    if (options.verbose) WSetTraceCallback(&PrintTraceLine);

    // A child started as a fresh program for one of several ports.
    if (const int child = ChildPort(); child != 0 && options.ports == std::vector<int>{child})
        return AttemptInChild(child, options.verbose);
    if (options.trace) ReportTraceFileProblem();
    if (options.ports.size() > 1) return RunSeveral(options);
    const int port = options.ports.empty() ? 0 : options.ports.front();
    const Outcome outcome = AttemptPort(port, options.verbose);
    std::printf("%s\n", MessageFor(outcome).text);
    return ExitStatusFor(outcome);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const int status = Run(args);
        std::fflush(nullptr);
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.what());
    } catch (...) {
        std::fprintf(stderr, "%s: internal failure\n", kProgram);
    }
    return kExitSoftware;
}
