#include "sim/nomi_frames.h"

#include <algorithm>
#include <limits>

namespace ebd::sim {

uint8_t frameCheck(std::span<const uint8_t> payload) {
    uint8_t check = kStx ^ static_cast<uint8_t>(payload.size());
    for (uint8_t byte : payload) check ^= byte;
    return check;
}

std::vector<uint8_t> encodeFrame(std::span<const uint8_t> payload) {
    payload = payload.first(std::min(payload.size(), kMaxFramePayload));
    std::vector<uint8_t> frame;
    frame.reserve(payload.size() + 4);
    frame.push_back(kStx);
    frame.push_back(static_cast<uint8_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(frameCheck(payload));
    frame.push_back(kEtx);
    return frame;
}

FrameReader::Event FrameReader::feed(uint8_t byte, uint64_t atNs) {
    lastByteNs_ = atNs;
    switch (state_) {
        case State::Idle:
            if (byte != kStx) return Event::OutsideFrame;
            state_ = State::Length;
            return Event::None;
        case State::Length:
            length_ = byte;
            filled_ = 0;
            state_ = length_ == 0 ? State::Check : State::Payload;
            return Event::None;
        case State::Payload:
            payload_[filled_++] = byte;
            if (filled_ == length_) state_ = State::Check;
            return Event::None;
        case State::Check:
            check_ = byte;
            state_ = State::End;
            return Event::None;
        case State::End:
            state_ = State::Idle;
            if (byte != kEtx) return Event::BadEnd;
            return check_ == frameCheck(payload()) ? Event::Frame : Event::BadCheck;
    }
    return Event::None;
}

uint64_t FrameReader::deadline(uint64_t interByteTimeoutNs) const {
    if (state_ == State::Idle) return std::numeric_limits<uint64_t>::max();
    return lastByteNs_ + interByteTimeoutNs;
}

FrameReader::Event FrameReader::abandon() {
    if (state_ == State::Idle) return Event::None;
    state_ = State::Idle;
    return Event::Abandoned;
}

}  // namespace ebd::sim
