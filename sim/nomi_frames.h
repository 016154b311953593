// NOMI frames as the module sees them: STX, L, L payload bytes, check byte, ETX.
// The reader takes the host's bytes one at a time; acknowledgements and any
// other byte outside a frame are handed back for the module to judge.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ebd::sim {

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr size_t kMaxFramePayload = 255;

// 0x02 XOR L XOR every payload byte.
uint8_t frameCheck(std::span<const uint8_t> payload);
// The whole frame on the wire; a payload longer than 255 bytes is cut to 255.
std::vector<uint8_t> encodeFrame(std::span<const uint8_t> payload);

class FrameReader {
public:
    enum class Event {
        None,          // the byte was taken into a frame that is not complete yet
        OutsideFrame,  // a byte where a frame should start, other than STX
        Frame,         // a good frame: see payload()
        BadCheck,      // a complete frame whose check byte is wrong
        BadEnd,        // a complete frame with a byte other than ETX at its end
        Abandoned,     // a partial frame given up after the inter-byte time-out
    };

    Event feed(uint8_t byte, uint64_t atNs);
    // When a partial frame is to be abandoned; UINT64_MAX when none is open.
    uint64_t deadline(uint64_t interByteTimeoutNs) const;
    // Gives up the partial frame (if any) and returns Abandoned, else None.
    Event abandon();
    void reset() { state_ = State::Idle; }

    bool inFrame() const { return state_ != State::Idle; }
    // Payload of the last complete frame, good or bad.
    std::span<const uint8_t> payload() const { return {payload_.data(), length_}; }

private:
    enum class State { Idle, Length, Payload, Check, End };

    State state_ = State::Idle;
    std::array<uint8_t, kMaxFramePayload> payload_{};
    size_t length_ = 0;
    size_t filled_ = 0;
    uint8_t check_ = 0;
    uint64_t lastByteNs_ = 0;
};

}  // namespace ebd::sim
