// Test fixture: the simulated platform installed for the whole process, a
// fresh library state, and every trace line captured through the callback.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "platform/sim_platform.h"

namespace ebd::test {

class SimFixture : public ::testing::Test {
protected:
    static constexpr uint32_t kTraceHandle = 0x1234;
    static constexpr uint64_t kMs = 1'000'000;

    void SetUp() override {
        current_ = this;
        platform::install(&sim);
        WDisableTraceFile();
        WSetTraceCallback(&Capture);
        WInitLibrary();
    }

    void TearDown() override {
        for (int port = 1; port <= kMaxPort; ++port)
            if (Port(port).port != platform::kNoPort) WComClose(MakeHandle(port));
        WSetTraceCallback(nullptr);
        platform::install(nullptr);
        current_ = nullptr;
    }

    uint32_t open(int port = 1, int32_t baud = 115200) {
        const uint32_t handle = WComOpen(port, baud, kTraceHandle);
        lines.clear();
        return handle;
    }

    bool has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    int count(const std::string& line) const {
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }
    // Index of the first line equal to `line` at or after `from`; -1 when none.
    int indexOf(const std::string& line, int from = 0) const {
        for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i)
            if (lines[i] == line) return static_cast<int>(i);
        return -1;
    }
    // Whether the lines appear in this order (other lines may come between).
    bool inOrder(const std::vector<std::string>& expected) const {
        int at = 0;
        for (const auto& line : expected) {
            at = indexOf(line, at);
            if (at < 0) return false;
            ++at;
        }
        return true;
    }
    std::string dump() const {
        std::string all;
        for (const auto& line : lines) all += line + "\n";
        return all;
    }
    uint64_t now() const { return sim.nowNs(); }

    platform::SimPlatform sim;
    std::vector<std::string> lines;
    std::vector<uint32_t> traceHandles;

private:
    static int32_t Capture(uint32_t traceHandle, const char* line) {
        if (current_ != nullptr) {
            current_->lines.emplace_back(line);
            current_->traceHandles.push_back(traceHandle);
        }
        return 0;
    }
    static inline SimFixture* current_ = nullptr;
};

}  // namespace ebd::test
