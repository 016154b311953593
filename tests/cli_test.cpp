// autostart-off and module-sim as a user runs them: the real binaries over
// pseudo-terminals in real time, one module-sim per module. Also the pieces of
// the command line that decide without a module: options, port diagnosis.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>
#include <utility>

#include "app/cli_options.h"
#include "app/port_diagnosis.h"
#include "sim/module_double.h"
#include "sim/pty_host.h"
#include "tool_process.h"

namespace ebd::test {
namespace {

namespace fs = std::filesystem;
using Env = std::vector<std::pair<std::string, std::string>>;

const std::string kTool = AUTOSTART_OFF;
const std::string kSim = MODULE_SIM;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

ToolRun Tool(std::vector<std::string> args, const Env& env = {}) {
    args.insert(args.begin(), kTool);
    return RunTool(args, env);
}

// ---- Outcomes against module-sim -------------------------------------------------

TEST(CommandLine, AModuleInAtModeIsDoneWithExitZero) {
    ModuleSimProcess module(kSim);
    ASSERT_FALSE(module.device().empty());
    const ToolRun run = Tool({"--port", "1"}, {{"EBD_COM1", module.device()}});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Autostart successfully switched off\n");
    EXPECT_EQ(run.err, "");
}

TEST(CommandLine, EachFailureHasItsTextAndStatus) {
    ModuleSimProcess refusing(kSim, {"--refuse-autostart", "5"});
    ModuleSimProcess silent(kSim, {"--silent"});
    ASSERT_FALSE(refusing.device().empty());
    ASSERT_FALSE(silent.device().empty());

    ToolRun run = Tool({"--port", "4", "--device", refusing.device()});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(run.out, "Cannot switchoff autostart\n");

    run = Tool({"--port", "2"}, {{"EBD_COM2", silent.device()}});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.out, "Cannot connect to Module\n");
    EXPECT_EQ(run.err, "") << "the port opened, so there is nothing to say about it";

    run = Tool({});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "No COM Port selected\n");
}

TEST(CommandLine, ARefusalWhoseConfirmIsCutToItsReferenceIsNoSuccess) {
    // The result byte never arrives: the tool cannot tell the autostart is off.
    ModuleSimProcess module(kSim, {"--refuse-autostart", "3", "--cut-confirm", "107:2"});
    ASSERT_FALSE(module.device().empty());
    const ToolRun run = Tool({"--port", "1", "--device", module.device(), "--verbose"});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(run.out, "Cannot switchoff autostart\n");
    EXPECT_TRUE(Contains(run.err, "(RPC ) EBDRPCSwitchJavaAutoStart: confirm has 2 bytes, 3 needed\n"))
        << run.err;
}

// Runs the tool once against a module-sim started with `options`; the run and
// its wall-clock time.
std::pair<ToolRun, std::chrono::milliseconds> TimedRun(const std::vector<std::string>& options) {
    ModuleSimProcess module(kSim, options);
    if (module.device().empty()) return {ToolRun{}, std::chrono::milliseconds(0)};
    const auto start = std::chrono::steady_clock::now();
    ToolRun run = Tool({"--port", "1", "--device", module.device()});
    const auto took = std::chrono::steady_clock::now() - start;
    return {run, std::chrono::duration_cast<std::chrono::milliseconds>(took)};
}

TEST(CommandLine, MisbehavingModulesEndTheToolWithinTwiceTheSilentTimePlusTwoSeconds) {
    // Each misbehaviour against a module that falls silent at the same point.
    const struct {
        std::vector<std::string> misbehaving;
        std::vector<std::string> silent;
        int status;
        const char* text;
    } cases[] = {
        {{"--endless", "stx-flood:nomi"}, {"--silent-in-nomi"}, 2, "Cannot connect to Module\n"},
        {{"--endless", "bad-check:1"}, {"--endless", "silent:1"}, 2, "Cannot connect to Module\n"},
        {{"--endless", "same-segment:107"}, {"--endless", "silent:107"}, 3, "Cannot switchoff autostart\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.misbehaving.back());
        const auto [silent, silentTime] = TimedRun(c.silent);
        const auto [run, took] = TimedRun(c.misbehaving);
        EXPECT_EQ(silent.status, c.status) << silent.err;
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out, c.text);
        EXPECT_LE(took, 2 * silentTime + std::chrono::seconds(2))
            << took.count() << " ms against " << silentTime.count() << " ms silent";
    }
}

TEST(CommandLine, AModuleThatNeverFallsSilentGivesStatusFour) {
    ModuleSimProcess module(kSim, {"--never-switch-off"});
    ASSERT_FALSE(module.device().empty());
    const ToolRun run = Tool({"--port", "7", "--device", module.device()});
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_EQ(run.out, "Cannot close Module connection\n");
}

TEST(CommandLine, ASecondRunWorksOnceTheModuleIsBackOn) {
    // No program can raise DTR on a pty: module-sim switches the module on
    // again by itself, 200 ms after it went off; it answers 300 ms later.
    ModuleSimProcess module(kSim, {"--power-on-after", "200"});
    ASSERT_FALSE(module.device().empty());
    const Env env{{"EBD_COM1", module.device()}};
    const ToolRun first = Tool({"--port", "1"}, env);
    EXPECT_EQ(first.status, 0) << first.err;
    usleep(900'000);
    const ToolRun second = Tool({"--port", "1"}, env);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, "Autostart successfully switched off\n");
}

TEST(CommandLine, SeveralPortsRunAtOnceWithOneLineEachAndTheHighestStatus) {
    ModuleSimProcess good(kSim);
    ModuleSimProcess refusing(kSim, {"--refuse-autostart", "2"});
    ModuleSimProcess silent(kSim, {"--silent"});
    const ToolRun run = Tool({"--port", "3", "--device", good.device(), "--port", "11", "--device",
                              refusing.device(), "--port", "32", "--device", silent.device()});
    EXPECT_EQ(run.status, 3) << run.err;
    auto lines = Lines(run.out);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"COM11: Cannot switchoff autostart",
                                               "COM32: Cannot connect to Module",
                                               "COM3: Autostart successfully switched off"}));
}

TEST(CommandLine, EightModulesAtOnce) {
    std::vector<std::unique_ptr<ModuleSimProcess>> modules;
    std::vector<std::string> args;
    for (int port = 1; port <= 8; ++port) {
        modules.push_back(std::make_unique<ModuleSimProcess>(kSim));
        ASSERT_FALSE(modules.back()->device().empty());
        args.insert(args.end(), {"--port", std::to_string(port), "--device", modules.back()->device()});
    }
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, 0) << run.err;
    auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 8u) << run.out;
    std::sort(lines.begin(), lines.end());
    for (int port = 1; port <= 8; ++port)
        EXPECT_EQ(lines[static_cast<size_t>(port - 1)],
                  "COM" + std::to_string(port) + ": Autostart successfully switched off");
}

// ---- Why a port cannot be opened ----------------------------------------------------

TEST(CommandLine, AMissingDeviceIsNamedWithTheHintThatFitsHowItWasGiven) {
    ToolRun run = Tool({"--port", "5", "--device", "/nonexistent/ttyUSB9"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "Cannot connect to Module\n");
    EXPECT_TRUE(Contains(run.err, "COM5 (/nonexistent/ttyUSB9): no such device")) << run.err;
    EXPECT_FALSE(Contains(run.err, "EBD_COM5")) << run.err;
    run = Tool({"--port", "5"}, {{"EBD_COM5", "/nonexistent/ttyUSB9"}});
    EXPECT_TRUE(Contains(run.err, "does EBD_COM5 name another device?")) << run.err;
    // Named by the port map: the hint points at the map, not at a variable.
    const fs::path dir = fs::temp_directory_path() / ("missing_mapped_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "settings.conf").string();
    std::ofstream(file) << "[Ports]\n\"COM5\"=\"/nonexistent/ttyUSB9\"\n";
    run = Tool({"--port", "5"}, {{"EBD_SETTINGS_FILE", file}});
    EXPECT_TRUE(Contains(run.err, "does the port map (" + file + " [Ports]) name another device for COM5?"))
        << run.err;
    EXPECT_FALSE(Contains(run.err, "EBD_COM5")) << run.err;
    fs::remove_all(dir);
}

// Opens `device` (and locks it, if asked) in a child process of its own until
// destroyed. `handOver`: the child forks a grandchild that keeps the
// descriptor and ends, so the process that took the lock no longer exists.
class Holder {
public:
    explicit Holder(const std::string& device, bool lock = true, bool handOver = false) {
        int ready[2];
        if (pipe(ready) != 0) return;
        const pid_t child = fork();
        if (child == 0) {
            const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const bool ok = fd >= 0 && (!lock || flock(fd, LOCK_EX | LOCK_NB) == 0);
            if (handOver && ok && fork() != 0) _exit(0);
            const std::string report = std::string(ok ? "1" : "0") + std::to_string(getpid());
            (void)!write(ready[1], report.data(), report.size());
            pause();
            _exit(0);
        }
        close(ready[1]);
        char report[32] = {};
        pollfd entry{ready[0], POLLIN, 0};
        if (poll(&entry, 1, 5000) == 1 && read(ready[0], report, sizeof report - 1) > 1) {
            holding_ = report[0] == '1';
            pid_ = std::atoi(report + 1);
        }
        close(ready[0]);
        if (handOver) waitpid(child, nullptr, 0);
        reap_ = handOver ? -1 : child;
        if (pid_ <= 0) pid_ = child;
    }
    ~Holder() {
        if (pid_ > 0) kill(pid_, SIGKILL);
        if (reap_ > 0) waitpid(reap_, nullptr, 0);
    }
    bool holding() const { return holding_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    pid_t reap_ = -1;
    bool holding_ = false;
};

TEST(CommandLine, EveryOtherProgramWithThePortOpenIsNamed) {
    struct Case {
        const char* what;
        std::vector<std::pair<bool, bool>> holders;  // lock, hand over
        const char* says;
    };
    const std::vector<Case> cases{
        {"a forgotten terminal, no lock",
         {{false, false}},
         "the module did not answer; also open in another program"},
        {"two, one with the lock", {{false, false}, {true, false}}, "held by another program"},
        {"the lock taker ended, its child holds on", {{true, true}}, "held by another program"},
    };
    for (const Case& c : cases) {
        ModuleSimProcess module(kSim, {"--silent"});
        ASSERT_FALSE(module.device().empty());
        std::deque<Holder> holders;
        for (const auto& [lock, handOver] : c.holders)
            ASSERT_TRUE(holders.emplace_back(module.device(), lock, handOver).holding()) << c.what;
        const ToolRun run = Tool({"--port", "1", "--device", module.device()});
        EXPECT_EQ(run.status, 2) << c.what;
        EXPECT_EQ(Lines(run.err).size(), 1u) << c.what << ": " << run.err;
        EXPECT_TRUE(Contains(run.err, c.says)) << c.what << ": " << run.err;
        for (const Holder& holder : holders)
            EXPECT_TRUE(Contains(run.err, "pid " + std::to_string(holder.pid()) + ", test_cli"))
                << c.what << ": " << run.err;
        EXPECT_FALSE(Contains(run.err, "module-sim")) << c.what << ": the module's own end is no other user";
    }
}

TEST(PortDiagnosis, NamesAGroupOnlyWhenItMayUseTheDeviceAndIsNotRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "giving the device away needs root";
    ebd::sim::ModuleDouble module;
    std::string error;
    const auto host = ebd::sim::PtyHost::Open(module, &error);
    ASSERT_TRUE(host) << error;
    const char* device = host->slavePath().c_str();
    // A group the test user is not in; named as the system knows it.
    constexpr gid_t kGroup = 20;
    const group* known = getgrgid(kGroup);
    const std::string name = known != nullptr ? known->gr_name : "gid " + std::to_string(kGroup);
    const std::vector<std::tuple<mode_t, gid_t, std::string>> cases{
        {0660, kGroup, "no permission; members of the group '" + name + "' may use it: root adds"},
        {0620, kGroup, "no permission; no group may use it"},
        {0600, kGroup, "no permission; no group may use it"},
        {0660, 0, "no permission; no group may use it"},
    };
    for (const auto& [mode, owner, says] : cases) {
        ASSERT_EQ(chown(device, 0, owner), 0);
        ASSERT_EQ(chmod(device, mode), 0);
        const pid_t child = fork();
        if (child == 0) {
            // An ordinary user outside every group of the device.
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
            setenv("EBD_COM9", device, 1);
            const app::PortDiagnosis diagnosis = app::DiagnosePort(9);
            _exit(diagnosis.problem != app::PortProblem::NoPermission       ? 12
                  : !Contains(app::DescribePortProblem(9, diagnosis), says) ? 14
                                                                            : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(status, 0) << std::oct << mode << " group " << owner;
    }
}

TEST(PortDiagnosis, TellsAFreePortFromAFileAndFromNothing) {
    ebd::sim::ModuleDouble module;
    std::string error;
    const auto host = ebd::sim::PtyHost::Open(module, &error);
    ASSERT_TRUE(host) << error;
    setenv("EBD_COM9", host->slavePath().c_str(), 1);
    EXPECT_EQ(app::DiagnosePort(9).problem, app::PortProblem::None);
    EXPECT_EQ(app::DescribePortProblem(9, app::DiagnosePort(9)), "");
    setenv("EBD_COM9", "/etc/hostname", 1);
    EXPECT_EQ(app::DiagnosePort(9).problem, app::PortProblem::NotSerial);
    setenv("EBD_COM9", "/dev/null", 1);
    EXPECT_EQ(app::DiagnosePort(9).problem, app::PortProblem::NotSerial)
        << "a character device, but no terminal";
    setenv("EBD_COM9", "/nonexistent", 1);
    EXPECT_EQ(app::DiagnosePort(9).problem, app::PortProblem::NoDevice);
    unsetenv("EBD_COM9");
}

// ---- Trace -------------------------------------------------------------------------------

TEST(CommandLine, VerboseSendsTraceLinesToStandardErrorAndTraceWritesTheFile) {
    ModuleSimProcess module(kSim);
    ASSERT_FALSE(module.device().empty());
    const fs::path dir = fs::temp_directory_path() / ("cli_test_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path old = fs::current_path();
    fs::current_path(dir);

    ToolRun run = Tool({"--port", "1", "--device", module.device(), "--verbose"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Autostart successfully switched off\n");
    EXPECT_TRUE(
        Contains(run.err, "autostart-off: (EBD ) WComOpen(portNum=1, baudRate=115200, tHandle=0x00000001)\n"))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "autostart-off: (EBD ) WSwitchOff: O.K.\n")) << run.err;
    EXPECT_FALSE(fs::exists(dir / "tracefiles")) << "verbose alone writes no file";

    // The module is off now; the attempt fails, but its lines are in the file.
    run = Tool({"--port", "1", "--device", module.device(), "--trace"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "");
    std::ifstream file(dir / "tracefiles" / "tracefile.txt");
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_TRUE(Contains(content.str(), "(EBD ) WComOpen(portNum=1, baudRate=115200, tHandle=0x00000000)"))
        << content.str();

    fs::current_path(old);
    fs::remove_all(dir);
}

TEST(CommandLine, ATraceFileThatCannotBeWrittenIsNamedOnceAndTheAttemptGoesOn) {
    // A FIFO at the trace path neither holds the tool nor takes its lines.
    const fs::path dir = fs::temp_directory_path() / ("cli_trace_" + std::to_string(getpid()));
    const fs::path old = fs::current_path();
    fs::create_directories(dir / "tracefiles");
    fs::current_path(dir);
    ASSERT_EQ(mkfifo("tracefiles/tracefile.txt", 0600), 0);
    for (const auto& ports :
         std::vector<std::vector<std::string>>{{"--port", "3"}, {"--port", "3", "--port", "4"}}) {
        std::vector<std::string> args = ports;
        args.insert(args.end(), {"--device", "/nonexistent", "--trace"});
        const ToolRun run = Tool(args, {{"EBD_COM4", "/nonexistent"}});
        EXPECT_EQ(run.status, 2);
        const std::string notice =
            "the trace file is not written: tracefiles/tracefile.txt is not a regular file\n";
        const size_t at = run.err.find(notice);
        EXPECT_NE(at, std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(notice, at + 1), std::string::npos) << "said once: " << run.err;
    }
    fs::current_path(old);
    fs::remove_all(dir);
}

// ---- Usage ----------------------------------------------------------------------------------

TEST(CommandLine, UsageErrorsExitWith64AndHelpAndVersionWithZero) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--port", "0"},
                                               {"--port", "33"},
                                               {"--port"},
                                               {"--port", "x1"},
                                               {"--bogus"},
                                               {"COM1"},
                                               {"--port", "1", "--port", "1"},
                                               {"--device", "/dev/null", "--port", "1", "--port", "2"},
                                               {"--trace=yes"}}) {
        const ToolRun run = Tool(args);
        EXPECT_EQ(run.status, 64) << args[0];
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(Contains(run.err, "Try 'autostart-off --help'")) << run.err;
    }
    ToolRun run = Tool({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Contains(run.out, "Usage: autostart-off")) << run.out;
    run = Tool({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Contains(run.out, "autostart-off ")) << run.out;
}

TEST(CommandLine, ListPortsShowsEveryComNameWithItsDevice) {
    ModuleSimProcess module(kSim);
    ASSERT_FALSE(module.device().empty());
    const ToolRun run = Tool({"--list-ports", "--port", "2", "--device", module.device()},
                             {{"EBD_COM3", "/nonexistent/ttyACM0"}, {"EBD_COM4", "/etc/hostname"}});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    // The 32 COM names, a blank line, then the serial devices of this machine.
    ASSERT_GE(lines.size(), 34u) << run.out;
    EXPECT_EQ(lines[32], "");
    EXPECT_EQ(lines[33].rfind("Serial devices:", 0), 0u) << lines[33];
    for (int port = 1; port <= 32; ++port) {
        const std::string& line = lines[static_cast<size_t>(port - 1)];
        EXPECT_EQ(line.rfind("COM" + std::to_string(port) + " ", 0), 0u) << line;
    }
    EXPECT_TRUE(Contains(lines[1], module.device()) && lines[1].substr(lines[1].size() - 8) == " present")
        << lines[1];
    EXPECT_TRUE(Contains(lines[2], "/nonexistent/ttyACM0") && Contains(lines[2], "missing")) << lines[2];
    EXPECT_TRUE(Contains(lines[3], "not a device")) << lines[3];
    EXPECT_TRUE(Contains(lines[9], "/dev/ttyS9")) << lines[9];
    // Listing opened nothing: the module saw no program, so it is still on.
    EXPECT_EQ(Tool({"--port", "2", "--device", module.device()}).status, 0);
}

TEST(CommandLine, SerialByIdNamesServeAsDevices) {
    // A by-id name is a link udev makes to the adapter's current device.
    const fs::path byId = fs::temp_directory_path() / ("by_id_" + std::to_string(getpid())) / "serial/by-id";
    fs::create_directories(byId);
    const fs::path name = byId / "usb-Sim_Module_0001-if00";
    {
        ModuleSimProcess module(kSim, {"--link", name.string()});
        ASSERT_FALSE(module.device().empty());
        ToolRun run = Tool({"--port", "6", "--device", name.string()});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "Autostart successfully switched off\n");
    }
    {
        ModuleSimProcess module(kSim, {"--link", name.string()});
        ASSERT_FALSE(module.device().empty());
        const ToolRun run = Tool({"--port", "3"}, {{"EBD_COM3", name.string()}});
        EXPECT_EQ(run.status, 0) << run.err;
    }
    // The adapter pulled out: udev removed the link; the tool says so.
    ASSERT_FALSE(fs::exists(fs::symlink_status(name)));
    const ToolRun run = Tool({"--port", "3"}, {{"EBD_COM3", name.string()}});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Contains(run.err, "COM3 (" + name.string() + "): no such device")) << run.err;
    fs::remove_all(byId.parent_path().parent_path());
}

TEST(CommandLine, APortMapSetOnTheCommandLineReachesAModuleNoVariableNames) {
    const fs::path dir = fs::temp_directory_path() / ("port_map_cli_" + std::to_string(getpid()));
    const std::string file = (dir / "settings.conf").string(), link = (dir / "module").string();
    fs::create_directories(dir);
    std::ofstream(file) << "[QMB_Library]\n\"ComPort\"=hex:03\n";
    const Env env{{"EBD_SETTINGS_FILE", file}};
    ModuleSimProcess module(kSim, {"--link", link});
    ASSERT_FALSE(module.device().empty());

    ToolRun run = Tool({"--map-port", "COM7=" + link}, env);
    EXPECT_EQ(run.out, "COM7: " + link + ", in " + file + " [Ports]\n") << run.err;
    const std::string mapped = Lines(Tool({"--list-ports"}, env).out).at(6);
    EXPECT_TRUE(Contains(mapped, link) && Contains(mapped, " map ") && Contains(mapped, " present"))
        << mapped;
    EXPECT_EQ(Tool({"--port", "COM7"}, env).status, 0);
    run = Tool({"--unmap-port", "7", "--list-ports"}, env);
    EXPECT_EQ(Lines(run.out).at(0), "COM7: no longer in " + file + " [Ports]");
    EXPECT_TRUE(Contains(Lines(run.out).at(7), "/dev/ttyS6  ") &&
                Contains(Lines(run.out).at(7), " default "));
    // The library's own settings stay.
    std::ifstream in(file);
    EXPECT_TRUE(
        Contains(std::string(std::istreambuf_iterator<char>(in), {}), "[QMB_Library]\n\"ComPort\"=hex:03"));

    // Wrong entries are usage errors; a store that cannot be written names itself and why.
    const std::string blocked = "/etc/hostname/settings.conf";
    const struct {
        std::vector<std::string> args;
        std::string settings;
        int status;
        std::string error;
    } failures[] = {
        {{"--map-port", "COM7=ttyUSB0"}, file, 64, "'ttyUSB0' is not an absolute device path"},
        {{"--map-port", "COM7=/dev/ttyUSB0", "--port", "1"}, file, 64, "do not go with --port"},
        {{"--map-port", "COM7=/dev/ttyUSB0"},
         blocked,
         73,
         "COM7: cannot create the key in " + blocked + " [Ports]: Not a directory"},
        {{"--unmap-port", "COM7"}, blocked, 0, ""},  // no map, nothing to remove
    };
    for (const auto& failure : failures) {
        run = Tool(failure.args, {{"EBD_SETTINGS_FILE", failure.settings}});
        EXPECT_EQ(run.status, failure.status) << failure.args[1];
        EXPECT_TRUE(Contains(run.err, failure.error)) << run.err;
    }
    fs::remove_all(dir);
}

TEST(CliOptions, PortsAndDevicesPairUp) {
    auto parse = app::ParseCliOptions(
        {"--port", "3", "--device", "/dev/a", "--port=12", "--port", "1", "--device=/dev/b"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->ports, (std::vector<int>{3, 12, 1}));
    EXPECT_EQ(parse.options->devices,
              (std::vector<std::pair<int, std::string>>{{3, "/dev/a"}, {1, "/dev/b"}}));

    // A port may be written as its name.
    parse = app::ParseCliOptions({"--port", "COM5", "--port=com6"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->ports, (std::vector<int>{5, 6}));

    // A device before the only port belongs to it.
    parse = app::ParseCliOptions({"--device", "/dev/x", "--verbose", "--port", "32"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->devices, (std::vector<std::pair<int, std::string>>{{32, "/dev/x"}}));
    EXPECT_TRUE(parse.options->verbose);

    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--device", "/dev/x"},                               // no port at all
             {"--port", "1", "--device", "/a", "--device", "/b"},  // two devices for one port
             {"--device", "/a", "--device", "/b", "--port", "1"},  // two waiting devices
             {"--port", "1", "--device="},                         // empty path
             {"--port", "-1"},
             {"--port", "+2"},
             {"--port", "007"},
             {"--port", "COM33"},  // beyond the table; only Windows has names for such ports
             {"--port", "COM05"},
             {"--list-ports=1"}}) {
        EXPECT_FALSE(app::ParseCliOptions(bad).options) << bad.back();
    }
}

// ---- module-sim ---------------------------------------------------------------------------------

TEST(ModuleSim, LinkIsMadeAndRemovedAndSignalsEndItCleanly) {
    const fs::path link = fs::temp_directory_path() / ("module_sim_link_" + std::to_string(getpid()));
    fs::remove(link);
    {
        ModuleSimProcess module(kSim, {"--link", link.string()});
        ASSERT_FALSE(module.device().empty());
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link).string(), module.device());
        // The tools can use the link as the device.
        EXPECT_EQ(Tool({"--port", "1", "--device", link.string()}).status, 0);
        EXPECT_EQ(module.stop(SIGTERM), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    }
    ModuleSimProcess module(kSim, {"--link", link.string()});
    ASSERT_FALSE(module.device().empty());
    EXPECT_EQ(module.stop(SIGINT), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    // A file that is no link is left alone.
    std::ofstream(link.string()) << "keep";
    ModuleSimProcess refused(kSim, {"--link", link.string()});
    EXPECT_TRUE(refused.device().empty());
    EXPECT_EQ(refused.stop(SIGTERM), 1);
    EXPECT_TRUE(fs::is_regular_file(link));
    fs::remove(link);
}

TEST(ModuleSim, BadOptionsAreUsageErrors) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--start", "boot"},
                                                                  {"--mode", "256"},
                                                                  {"--refuse-autostart", "0"},
                                                                  {"--stray", "0g"},
                                                                  {"--cut-confirm", "107"},
                                                                  {"--cut-confirm", "107:2000"},
                                                                  {"--endless", "stx"},
                                                                  {"--endless", "stx-flood:x"},
                                                                  {"--bogus"}}) {
        std::vector<std::string> argv{kSim};
        argv.insert(argv.end(), args.begin(), args.end());
        const ToolRun run = RunTool(argv, {}, std::chrono::seconds(5));
        EXPECT_EQ(run.status, 64) << args[0];
    }
}

// ---- The pseudo-terminal host, driven by hand ---------------------------------------------

class PtyHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        host = ebd::sim::PtyHost::Open(module, &error);
        ASSERT_TRUE(host) << error;
        fd = open(host->slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override {
        if (fd >= 0) close(fd);
    }
    // Serves for about `ms` and returns what arrived at the slave.
    std::string serveAndRead(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::string got;
        while (std::chrono::steady_clock::now() < end) {
            host->serveFor(5 * ebd::sim::kMs);
            char buffer[256];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

    ebd::sim::ModuleDouble module;
    std::unique_ptr<ebd::sim::PtyHost> host;
    int fd = -1;
};

TEST_F(PtyHostTest, TheModuleAnswersOnTheSlaveWithoutAnyEchoOfThePty) {
    ASSERT_EQ(write(fd, "AT\r", 3), 3);
    EXPECT_EQ(serveAndRead(100), "AT\r\r\nOK\r\n") << "the module's echo and answer, nothing else";
}

TEST_F(PtyHostTest, BaudRateAndStopBitsOfTheSlaveReachTheModule) {
    termios settings{};
    ASSERT_EQ(tcgetattr(fd, &settings), 0);
    cfsetispeed(&settings, B57600);
    cfsetospeed(&settings, B57600);
    settings.c_cflag |= CSTOPB;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &settings), 0);
    serveAndRead(20);
    const auto& events = module.lineEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().line.baudRate, 57600u);
    EXPECT_EQ(events.back().line.stopBits, 2);
    EXPECT_FALSE(events.back().line.dtr) << "a pty has no DTR";
}

TEST_F(PtyHostTest, ClosingTheLastOtherDescriptorDoesNotEndTheHost) {
    close(fd);
    fd = -1;
    EXPECT_TRUE(host->serveFor(10 * ebd::sim::kMs));
    fd = open(host->slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "AT\r", 3), 3);
    EXPECT_EQ(serveAndRead(100), "AT\r\r\nOK\r\n");
}

}  // namespace
}  // namespace ebd::test
