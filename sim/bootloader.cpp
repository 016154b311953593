#include "sim/bootloader.h"

namespace ebd::sim {
namespace {

constexpr uint8_t kPattern = 0x78;
constexpr uint8_t kPatternAnswer = 0x87;
constexpr uint8_t kHeaderByte = 0xFF;
constexpr uint8_t kAckByte = 0x06;
constexpr uint8_t kNakByte = 0x15;
constexpr size_t kHeaderLength = 4;

std::vector<uint8_t> versionAnswer(const Bootloader::Config& config) {
    // Bytes 6 and 7 mark a version answer, 8 and 9 hold the version as plain numbers.
    const bool marked = config.fault != Bootloader::Fault::WrongVersion;
    std::vector<uint8_t> answer{
        0x00, 0x08,         0xFE,        0x07, 0x00, 0x00, static_cast<uint8_t>(marked ? 0xFF : 0x00),
        0x07, config.major, config.minor};
    uint8_t check = 0;
    for (uint8_t byte : answer) check ^= byte;
    answer.push_back(check);
    return answer;
}

}  // namespace

Bootloader::Answer Bootloader::feed(uint8_t byte, const Config& config) {
    switch (state_) {
        case State::Idle:
            if (byte == kPattern) {
                patternSeen_ = true;
                return {{kPatternAnswer}, false};
            }
            if (byte == kAckByte && versionSent_) versionAcknowledged_ = true;
            if (byte == kHeaderByte) {
                state_ = State::Header;
                headerCount_ = 1;
            }
            return {};
        case State::Header:
            if (byte != kHeaderByte) {
                state_ = State::Idle;
                return feed(byte, config);
            }
            if (++headerCount_ == kHeaderLength) state_ = State::LengthHigh;
            return {};
        case State::LengthHigh:
            length_ = static_cast<size_t>(byte) << 8;
            check_ = byte;
            state_ = State::LengthLow;
            return {};
        case State::LengthLow:
            length_ |= byte;
            check_ ^= byte;
            payload_.clear();
            state_ = length_ == 0 || length_ > kMaxPayload ? State::Idle : State::Payload;
            return {};
        case State::Payload:
            payload_.push_back(byte);
            check_ ^= byte;
            if (payload_.size() == length_) state_ = State::Check;
            return {};
        case State::Check:
            state_ = State::Idle;
            if (byte != check_) return {{kNakByte}, false};
            return command(config);
    }
    return {};
}

Bootloader::Answer Bootloader::command(const Config& config) {
    const bool version = payload_ == std::vector<uint8_t>{0xFE, 0x07};
    const bool boot = payload_ == std::vector<uint8_t>{0xFE, 0x01, 0x02};
    if (boot) return {{kAckByte}, true};
    if (!version) return {{kNakByte}, false};
    switch (config.fault) {
        case Fault::Silent:
            return {};
        case Fault::WrongAck:
            return {{kNakByte}, false};
        case Fault::None:
        case Fault::WrongVersion: {
            versionSent_ = true;
            Answer answer{{kAckByte}, false};
            const std::vector<uint8_t> text = versionAnswer(config);
            answer.bytes.insert(answer.bytes.end(), text.begin(), text.end());
            return answer;
        }
    }
    return {};
}

}  // namespace ebd::sim
