// A scripted far end for link-level tests: it sends exactly the bytes a test
// queues, at the virtual times the test names, records everything the host
// writes, and can acknowledge the host's frames by itself.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "platform/sim_platform.h"

namespace ebd::test {

class ScriptPeer : public platform::SimPeer {
public:
    struct Received {
        uint64_t atNs;
        std::vector<uint8_t> bytes;
    };

    // Queues bytes that arrive at the host from `atNs` on, one character time
    // (about 95 us at 115200 baud) apart.
    void send(const std::vector<uint8_t>& bytes, uint64_t atNs, uint64_t gapNs = 95'000) {
        uint64_t at = atNs;
        for (uint8_t b : bytes) {
            if (!out_.empty() && out_.back().first > at) at = out_.back().first;
            out_.emplace_back(at, b);
            at += gapNs;
        }
    }
    // Builds a frame around `payload`.
    static std::vector<uint8_t> frame(const std::vector<uint8_t>& payload) {
        std::vector<uint8_t> f{0x02, static_cast<uint8_t>(payload.size())};
        uint8_t check = static_cast<uint8_t>(0x02 ^ payload.size());
        for (uint8_t b : payload) {
            f.push_back(b);
            check ^= b;
        }
        f.push_back(check);
        f.push_back(0x03);
        return f;
    }

    // Answers every complete frame of the host with the next byte of
    // `acks` (ACK when the list is used up), 1 ms after the frame.
    void autoAck(std::vector<uint8_t> acks = {}) {
        autoAck_ = true;
        acks_ = std::deque<uint8_t>(acks.begin(), acks.end());
    }
    // Called for every complete host frame (payload, arrival time).
    std::function<void(const std::vector<uint8_t>&, uint64_t)> onFrame;
    // Called for every block of host bytes.
    std::function<void(const std::vector<uint8_t>&, uint64_t)> onBytes;

    const std::vector<Received>& writes() const { return writes_; }
    const std::vector<std::vector<uint8_t>>& frames() const { return frames_; }
    const std::vector<uint64_t>& frameTimes() const { return frameTimes_; }
    std::vector<uint8_t> allBytes() const {
        std::vector<uint8_t> all;
        for (const auto& w : writes_) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
        return all;
    }
    const std::vector<platform::LineSettings>& lines() const { return lines_; }
    size_t pending() const { return out_.size(); }
    void clear() {
        writes_.clear();
        frames_.clear();
        frameTimes_.clear();
    }

    void onHostBytes(const uint8_t* data, size_t count, uint64_t nowNs) override {
        std::vector<uint8_t> bytes(data, data + count);
        writes_.push_back({nowNs, bytes});
        if (onBytes) onBytes(bytes, nowNs);
        for (uint8_t b : bytes) parse(b, nowNs);
    }
    void onLine(const platform::LineSettings& settings, uint64_t) override { lines_.push_back(settings); }
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
    void onPurge(uint64_t nowNs) override {
        while (!out_.empty() && out_.front().first <= nowNs) out_.pop_front();
    }

private:
    // Collects host frames: STX, L, payload, check, ETX (no validation beyond
    // the length, which delimits the frame).
    void parse(uint8_t b, uint64_t nowNs) {
        if (state_.empty()) {
            if (b != 0x02) return;
            state_.push_back(b);
            return;
        }
        state_.push_back(b);
        if (state_.size() >= 2 && state_.size() == static_cast<size_t>(state_[1]) + 4) {
            std::vector<uint8_t> payload(state_.begin() + 2, state_.end() - 2);
            state_.clear();
            frames_.push_back(payload);
            frameTimes_.push_back(nowNs);
            if (onFrame) onFrame(payload, nowNs);
            if (autoAck_) {
                uint8_t ack = 0x06;
                if (!acks_.empty()) {
                    ack = acks_.front();
                    acks_.pop_front();
                }
                send({ack}, nowNs + 1'000'000);
            }
        }
    }

    std::deque<std::pair<uint64_t, uint8_t>> out_;
    std::vector<Received> writes_;
    std::vector<std::vector<uint8_t>> frames_;
    std::vector<uint64_t> frameTimes_;
    std::vector<platform::LineSettings> lines_;
    std::vector<uint8_t> state_;
    bool autoAck_ = false;
    std::deque<uint8_t> acks_;
};

}  // namespace ebd::test
