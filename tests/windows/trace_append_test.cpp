// The trace file on Windows: several processes append to one file at once and
// every line arrives whole, once, with the system's line end.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ebd::test {
namespace {

constexpr int kProcesses = 4;
constexpr int kLinesEach = 400;
std::string g_self;

// One line of writer `writer`: its number, the line's number and a filler
// long enough that a split line would show.
std::string LineOf(int writer, int index) {
    char head[32];
    std::snprintf(head, sizeof head, "[%d %04d] ", writer, index);
    return head + std::string(200, static_cast<char>('a' + writer)) + "\n";
}

int AppendAsWriter(const char* folder, int writer) {
    for (int i = 0; i < kLinesEach; ++i) {
        const std::string line = LineOf(writer, i);
        if (!platform::appendToFile(folder, platform::kTraceFileName, line.data(), line.size())) return 1;
    }
    return 0;
}

TEST(TraceAppend, SeveralProcessesAppendWholeLines) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string folder = base + std::string("ebd_trace_") + std::to_string(GetCurrentProcessId());
    // Process ids come round again under Wine: no file of an earlier run.
    DeleteFileA((folder + "\\" + platform::kTraceFileName).c_str());
    std::vector<PROCESS_INFORMATION> children;
    for (int writer = 0; writer < kProcesses; ++writer) {
        std::string command = "\"" + g_self + "\" --append \"" + folder + "\" " + std::to_string(writer);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &child));
        children.push_back(child);
    }
    for (const PROCESS_INFORMATION& child : children) {
        EXPECT_EQ(WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
        DWORD status = 99;
        GetExitCodeProcess(child.hProcess, &status);
        EXPECT_EQ(status, 0u) << "a writer failed to append";
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
    }
    // Every line once, whole, ending in CR LF: the same lines as written, in some order.
    std::ifstream in(folder + "\\" + platform::kTraceFileName, std::ios::binary);
    std::vector<std::string> written, found;
    for (int writer = 0; writer < kProcesses; ++writer)
        for (int i = 0; i < kLinesEach; ++i) written.push_back(LineOf(writer, i).insert(209, "\r"));
    for (std::string line; std::getline(in, line);) found.push_back(line + "\n");
    std::sort(written.begin(), written.end());
    std::sort(found.begin(), found.end());
    EXPECT_TRUE(found == written) << found.size() << " lines of " << written.size() << ", or some torn apart";
    DeleteFileA((folder + "\\" + platform::kTraceFileName).c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace ebd::test

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--append")
        return ebd::test::AppendAsWriter(argv[2], std::atoi(argv[3]));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    ebd::test::g_self = self;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
