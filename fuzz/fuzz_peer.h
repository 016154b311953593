// A far end for fuzzing: whatever the fuzzer made up is what the module says.
// Each time the host writes, the next chunk of the input goes out (its length
// taken from the input too), so that every read of the library meets arbitrary
// module output in between its own writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <utility>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "platform/sim_platform.h"

namespace ebd::fuzz {

class FuzzPeer : public platform::SimPeer {
public:
    FuzzPeer(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // Queues `count` bytes of the input (or what is left), starting at `atNs`.
    void emit(size_t count, uint64_t atNs) {
        for (size_t i = 0; i < count && pos_ < size_; ++i) out_.emplace_back(atNs + i * 90'000, data_[pos_++]);
    }
    size_t left() const { return size_ - pos_; }
    uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }

    void onHostBytes(const uint8_t*, size_t, uint64_t nowNs) override {
        if (left() == 0) return;
        emit(next() % 64, nowNs + 1'000'000);
    }
    void onLine(const platform::LineSettings&, uint64_t) override {}
    void advanceTo(uint64_t) override {}
    uint64_t nextEventNs() const override { return std::numeric_limits<uint64_t>::max(); }
    bool frontOutput(uint64_t* atNs) const override {
        if (out_.empty()) return false;
        *atNs = out_.front().first;
        return true;
    }
    uint8_t popOutput() override {
        const uint8_t b = out_.front().second;
        out_.pop_front();
        return b;
    }
    void onPurge(uint64_t) override {}

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::deque<std::pair<uint64_t, uint8_t>> out_;
};

// A session on COM1 wired to `peer`, under the simulated platform; closed and
// uninstalled again at the end of the scope.
class FuzzSession {
public:
    explicit FuzzSession(platform::SimPeer& peer) {
        platform::install(&sim_);
        sim_.attach("COM1", &peer);
        WInitLibrary();
        handle_ = WComOpen(1, 115200, 0);
    }
    ~FuzzSession() {
        if (handle_ != 0) WComClose(handle_);
        platform::install(nullptr);
    }
    FuzzSession(const FuzzSession&) = delete;
    FuzzSession& operator=(const FuzzSession&) = delete;
    uint32_t handle() const { return handle_; }
    platform::SimPlatform& sim() { return sim_; }

private:
    platform::SimPlatform sim_;
    uint32_t handle_ = 0;
};

}  // namespace ebd::fuzz
