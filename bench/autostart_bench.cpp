// Performance figures of the autostart-off tool, printed as a small table:
//   - the workflow over a pseudo-terminal against module-sim in real time, for a
//     module in AT mode and one already in NOMI mode (median of several runs),
//     beside the same scenario under virtual time, where the library costs
//     nothing: the floor that the protocol's own waits impose;
//   - the library's CPU time per remote-call round trip, from the in-process
//     simulator, with the 10 ms block gap taken out of the spin;
//   - the peak resident memory of autostart-off for one port;
//   - eight ports at once against one port alone (one child process per port);
//   - 8 and 32 modules driven from as many threads of one process through the
//     C interface, against one module alone.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "lib/ebd.h"
#include "platform/sim_platform.h"
#include "rpc/ebdrpc.h"
#include "sim/module_double.h"

namespace {

using ebd::bench::Median;
using ebd::bench::SimProcess;

using Clock = std::chrono::steady_clock;

struct RunResult {
    double seconds = 0;
    int status = -1;
    long maxRssKb = 0;
};

// Runs autostart-off with `args` and the given COM mapping; times it from the
// spawn to the exit, as a station's script would see it.
RunResult RunTool(const std::vector<std::string>& options,
                  const std::vector<std::pair<int, std::string>>& ports) {
    for (const auto& [n, device] : ports) setenv(("EBD_COM" + std::to_string(n)).c_str(), device.c_str(), 1);
    std::vector<std::string> args{AUTOSTART_OFF};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    RunResult result;
    pid_t pid = -1;
    const auto start = Clock::now();
    if (posix_spawn(&pid, AUTOSTART_OFF, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.maxRssKb = usage.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

// The same workflow in-process under virtual time: the protocol's floor.
double FloorSeconds(ebd::sim::ModuleDouble::State start) {
    ebd::platform::SimPlatform sim;
    ebd::sim::ModuleDouble::Settings settings;
    settings.start = start;
    ebd::sim::ModuleDouble module(settings);
    ebd::platform::install(&sim);
    sim.attach("COM1", &module);
    const uint64_t begin = sim.nowNs();
    WInitLibrary();
    const uint32_t handle = WComOpen(1, 115200, 0);
    const bool ok =
        WInitServiceMode(handle) != 0 && WSwitchJavaAutoStart(handle, 0) != 0 && WSwitchOff(handle) != 0;
    WComClose(handle);
    const double seconds = static_cast<double>(sim.nowNs() - begin) / 1e9;
    ebd::platform::install(nullptr);
    return ok ? seconds : -1;
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU time of one remote call round trip: library and in-process double
// together, the double being the lesser part.
double CpuPerRemoteCallMicros(int calls) {
    ebd::platform::SimPlatform sim;
    // One counter read passes the whole 10 ms gap: the mandated spin is taken out.
    sim.setCounterStepNs(10'000'000);
    ebd::sim::ModuleDouble::Settings settings;
    settings.start = ebd::sim::ModuleDouble::State::Nomi;
    settings.recordLimit = 0;
    ebd::sim::ModuleDouble module(settings);
    ebd::platform::install(&sim);
    sim.attach("COM1", &module);
    WInitLibrary();
    const uint32_t handle = WComOpen(1, 115200, 0);
    uint8_t mode = 0;
    ebd::EBDRPCGetCurrentOperationMode(handle, &mode);  // the version query out of the way
    const double start = CpuSeconds();
    int failures = 0;
    for (int i = 0; i < calls; ++i) failures += ebd::EBDRPCGetCurrentOperationMode(handle, &mode) != 0;
    const double cpu = CpuSeconds() - start;
    WComClose(handle);
    ebd::platform::install(nullptr);
    return failures == 0 ? cpu / calls * 1e6 : -1;
}

// The autostart-off workflow for `modules` module-sim processes, each port on a
// thread of its own in this process, on the real platform; the wall time from
// the threads' start to the last one's end, or -1 when a workflow failed.
double ThreadedSeconds(int modules) {
    std::vector<std::unique_ptr<SimProcess>> sims;
    for (int n = 1; n <= modules; ++n) {
        sims.push_back(std::make_unique<SimProcess>(std::vector<std::string>{"--start", "at"}));
        setenv(("EBD_COM" + std::to_string(n)).c_str(), sims.back()->device().c_str(), 1);
    }
    WInitLibrary();
    std::vector<int> ok(static_cast<size_t>(modules), 0);
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int n = 1; n <= modules; ++n) {
        threads.emplace_back([n, &ok] {
            const uint32_t handle = WComOpen(n, 115200, 0);
            ok[static_cast<size_t>(n - 1)] = handle != 0 && WInitServiceMode(handle) != 0 &&
                                             WSwitchJavaAutoStart(handle, 0) != 0 && WSwitchOff(handle) != 0;
            WComClose(handle);
        });
    }
    for (auto& thread : threads) thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return std::count(ok.begin(), ok.end(), 1) == modules ? seconds : -1;
}

// Modules on threads of one process against one module alone.
void PrintThreaded(int runs) {
    std::printf("\n%-34s %10s %8s\n", "modules on threads, one process", "wall [s]", "ratio");
    double alone = 0;
    for (const int modules : {1, 8, 32}) {
        std::vector<double> wall;
        for (int i = 0; i < runs; ++i) {
            const double seconds = ThreadedSeconds(modules);
            if (seconds < 0) {
                std::printf("  run %d with %d modules failed\n", i, modules);
                continue;
            }
            wall.push_back(seconds);
        }
        const double median = Median(wall);
        if (modules == 1) alone = median;
        std::printf("%-34d %10.3f %8.3f\n", modules, median, alone > 0 ? median / alone : 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("machine: %ld cores, runs per figure: %d\n\n", sysconf(_SC_NPROCESSORS_ONLN), runs);
    // "autostart_bench RUNS threads": the threaded figures alone.
    if (argc > 2 && std::strcmp(argv[2], "threads") == 0) {
        PrintThreaded(runs);
        return 0;
    }

    struct Scenario {
        const char* name;
        const char* startOption;
        ebd::sim::ModuleDouble::State state;
    };
    const Scenario scenarios[] = {{"module in AT mode", "at", ebd::sim::ModuleDouble::State::At},
                                  {"module in NOMI mode", "nomi", ebd::sim::ModuleDouble::State::Nomi}};
    std::printf("%-34s %10s %10s %8s\n", "autostart-off workflow", "real [s]", "floor [s]", "ratio");
    long rssKb = 0;
    for (const Scenario& s : scenarios) {
        std::vector<double> real;
        for (int i = 0; i < runs; ++i) {
            SimProcess sim({"--start", s.startOption});
            const RunResult r = RunTool({"--port", "1"}, {{1, sim.device()}});
            if (r.status != 0) {
                std::printf("  run %d of '%s' ended with status %d\n", i, s.name, r.status);
                continue;
            }
            real.push_back(r.seconds);
            rssKb = std::max(rssKb, r.maxRssKb);
        }
        const double floor = FloorSeconds(s.state);
        const double median = Median(real);
        std::printf("%-34s %10.3f %10.3f %8.3f\n", s.name, median, floor, floor > 0 ? median / floor : 0);
    }

    std::printf("\n%-34s %10.2f us\n", "CPU per remote call round trip", CpuPerRemoteCallMicros(2000));
    std::printf("%-34s %10.2f MiB\n", "peak resident memory, one port", static_cast<double>(rssKb) / 1024.0);

    // Eight ports at once against one alone.
    std::vector<double> one, eight;
    for (int i = 0; i < runs; ++i) {
        {
            SimProcess sim({"--start", "at"});
            const RunResult r = RunTool({"--port", "1"}, {{1, sim.device()}});
            if (r.status == 0) one.push_back(r.seconds);
        }
        std::vector<std::unique_ptr<SimProcess>> sims;
        std::vector<std::pair<int, std::string>> ports;
        std::vector<std::string> options;
        for (int n = 1; n <= 8; ++n) {
            sims.push_back(std::make_unique<SimProcess>(std::vector<std::string>{"--start", "at"}));
            ports.emplace_back(n, sims.back()->device());
            options.push_back("--port");
            options.push_back(std::to_string(n));
        }
        const RunResult r = RunTool(options, ports);
        if (r.status == 0) eight.push_back(r.seconds);
    }
    const double oneMedian = Median(one);
    const double eightMedian = Median(eight);
    std::printf("%-34s %10.3f s\n", "one port", oneMedian);
    std::printf("%-34s %10.3f s  (x%.3f)\n", "eight ports at once", eightMedian,
                oneMedian > 0 ? eightMedian / oneMedian : 0);

    PrintThreaded(runs);
    return 0;
}
