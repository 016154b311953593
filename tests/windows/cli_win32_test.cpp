// The command line's Windows parts without a module: children started with
// CreateProcess (this program runs again as each child, see main below), and
// the port diagnosis in Windows' terms.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/port_children.h"
#include "app/port_diagnosis.h"
#include "app/port_diagnosis_win32.h"

namespace {

using ebd::app::ChildResult;
using ebd::app::PortDiagnosis;
using ebd::app::PortProblem;

// The arguments every child is given: blanks, quotes and backslashes must
// reach it as they were.
const std::vector<std::string> kArguments{
    "--port", "plain", "with blank", "quote\"inside", "trailing\\", "C:\\dir with blank\\", ""};

// What a child does, by its port: 1 checks its arguments and exits 0, 2 exits
// with 3, 3 crashes, 4 never ends.
int ChildMain(int port, const std::vector<std::string>& arguments) {
    switch (port) {
        case 1:
            return arguments == kArguments ? 0 : 1;
        case 2:
            return 3;
        case 3:
            // What an access violation leaves as the exit code.
            TerminateProcess(GetCurrentProcess(), 0xC0000005);
            return 1;
        case 4:
            Sleep(INFINITE);
            return 1;
        default:
            return 1;
    }
}

struct ChildrenRun {
    std::vector<ChildResult> results;
    std::vector<int> finishedOrder;
};

ChildrenRun RunPorts(const std::vector<int>& ports, std::chrono::milliseconds deadline) {
    ChildrenRun run;
    const auto never = [](int) { return 99; };  // children are fresh programs here
    const auto arguments = [](int) { return kArguments; };
    run.results = ebd::app::RunInChildren(
        ports, never, arguments, deadline,
        [&run](const ChildResult& child) { run.finishedOrder.push_back(child.port); });
    return run;
}

TEST(ChildrenOnWindows, EachPortRunsInAProgramOfItsOwnWithItsArgumentsIntact) {
    const ChildrenRun run = RunPorts({1, 2}, std::chrono::seconds(60));
    ASSERT_EQ(run.results.size(), 2u);
    EXPECT_EQ(run.results[0].port, 1);
    EXPECT_TRUE(run.results[0].exited);
    EXPECT_EQ(run.results[0].status, 0) << "the child did not get its arguments as they were";
    EXPECT_EQ(run.results[1].port, 2);
    EXPECT_TRUE(run.results[1].exited);
    EXPECT_EQ(run.results[1].status, 3);
    EXPECT_EQ(run.finishedOrder.size(), 2u);
}

TEST(ChildrenOnWindows, ACrashOrAHangOfOnePortLeavesTheOthersTheirOutcome) {
    const ChildrenRun run = RunPorts({3, 4, 2}, std::chrono::seconds(3));
    ASSERT_EQ(run.results.size(), 3u);
    // The crash is no outcome.
    EXPECT_FALSE(run.results[0].exited);
    EXPECT_FALSE(run.results[0].timedOut);
    // The hang is stopped at the deadline.
    EXPECT_FALSE(run.results[1].exited);
    EXPECT_TRUE(run.results[1].timedOut);
    // The third port's child ends as it would alone.
    EXPECT_TRUE(run.results[2].exited);
    EXPECT_EQ(run.results[2].status, 3);
    ASSERT_EQ(run.finishedOrder.size(), 3u);
    EXPECT_EQ(run.finishedOrder.back(), 4) << "the hanging child ends last, at the deadline";
}

TEST(PortDiagnosisOnWindows, AccessDeniedMeansAnotherProgramHoldsThePort) {
    const PortDiagnosis held = ebd::app::DiagnoseOpenError("\\\\.\\COM3", ERROR_ACCESS_DENIED);
    EXPECT_EQ(held.problem, PortProblem::Held);
    const std::string text = ebd::app::DescribePortProblem(3, held);
    EXPECT_EQ(text.rfind("COM3 (\\\\.\\COM3): held by another program", 0), 0u) << text;
    EXPECT_NE(text.find("access denied"), std::string::npos) << text;

    EXPECT_EQ(ebd::app::DiagnoseOpenError("\\\\.\\COM3", ERROR_FILE_NOT_FOUND).problem,
              PortProblem::NoDevice);
    // Anything else is told with the system's own text for the code.
    const PortDiagnosis other = ebd::app::DiagnoseOpenError("\\\\.\\COM3", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(other.problem, PortProblem::Other);
    EXPECT_NE(other.detail.find("(error 8)"), std::string::npos) << other.detail;
    EXPECT_GT(other.detail.size(), std::string("(error 8)").size()) << other.detail;
    const std::string described = ebd::app::DescribePortProblem(3, other);
    EXPECT_NE(described.find("cannot be opened: " + other.detail), std::string::npos) << described;
}

TEST(PortDiagnosisOnWindows, APortThatIsNotThereIsNamed) {
    // COM32 is mapped to nothing in the test prefix.
    const PortDiagnosis missing = ebd::app::DiagnosePort(32);
    EXPECT_EQ(missing.problem, PortProblem::NoDevice);
    EXPECT_EQ(missing.device, "\\\\.\\COM32");
    EXPECT_NE(ebd::app::DescribePortProblem(32, missing).find("no such port"), std::string::npos);
    EXPECT_EQ(ebd::app::DescribePortProblem(32, PortDiagnosis{}), "");
}

}  // namespace

int main(int argc, char** argv) {
    if (const int port = ebd::app::ChildPort(); port != 0)
        return ChildMain(port, std::vector<std::string>(argv + 1, argv + argc));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
