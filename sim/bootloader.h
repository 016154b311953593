// The module's bootloader, as it answers on the line at 57600 baud right after
// the ignition: the pattern byte, the version command and the boot command.
//
// Commands: FF FF FF FF, payload length (16-bit, high byte first), payload,
// check byte = XOR of the two length bytes and the payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ebd::sim {

class Bootloader {
public:
    enum class Fault {
        None,
        WrongAck,      // answers the version command with NAK instead of ACK
        WrongVersion,  // ACK, then a version answer without the FF 07 marker
        Silent,        // does not answer the version command at all
    };
    struct Config {
        uint8_t major = 1;
        uint8_t minor = 2;
        Fault fault = Fault::None;
    };
    struct Answer {
        std::vector<uint8_t> bytes;  // to send back, in this order
        bool boot = false;           // the firmware is to start now
    };

    Answer feed(uint8_t byte, const Config& config);
    void reset() { *this = Bootloader{}; }

    bool patternSeen() const { return patternSeen_; }
    // The host acknowledged a version answer.
    bool versionAcknowledged() const { return versionAcknowledged_; }

private:
    enum class State { Idle, Header, LengthHigh, LengthLow, Payload, Check };
    static constexpr size_t kMaxPayload = 16;

    Answer command(const Config& config);

    State state_ = State::Idle;
    size_t headerCount_ = 0;
    size_t length_ = 0;
    uint8_t check_ = 0;
    std::vector<uint8_t> payload_;
    bool patternSeen_ = false;
    bool versionSent_ = false;
    bool versionAcknowledged_ = false;
};

}  // namespace ebd::sim
