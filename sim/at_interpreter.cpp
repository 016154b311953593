#include "sim/at_interpreter.h"

#include <string_view>

namespace ebd::sim {
namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr std::string_view kSwitchCommand = "at^xqwe=1";

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

void appendResult(std::vector<uint8_t>& bytes, std::string_view result) {
    bytes.push_back(kCr);
    bytes.push_back(kLf);
    bytes.insert(bytes.end(), result.begin(), result.end());
    bytes.push_back(kCr);
    bytes.push_back(kLf);
}

}  // namespace

AtInterpreter::Answer AtInterpreter::feed(uint8_t byte, const Config& config) {
    Answer answer;
    if (config.echo == Echo::Plain) {
        answer.bytes.push_back(byte);
    } else if (config.echo == Echo::UpperCase) {
        answer.bytes.push_back(byte >= 'a' && byte <= 'z' ? static_cast<uint8_t>(byte - 'a' + 'A') : byte);
    }

    if (byte == kLf) return answer;
    if (byte != kCr) {
        if (line_.size() < kMaxLine) line_.push_back(static_cast<char>(byte));
        return answer;
    }

    lastLine_ = line_;
    line_.clear();
    answer.lineEnded = true;
    const std::string command = lowerCase(lastLine_);
    if (command.empty()) return answer;  // an empty line gets its echo only
    if (command == kSwitchCommand) {
        appendResult(answer.bytes, "OK");
        answer.switchToNomi = config.honourSwitch;
    } else if (command.starts_with("at")) {
        appendResult(answer.bytes, "OK");
    } else {
        appendResult(answer.bytes, "ERROR");
    }
    return answer;
}

}  // namespace ebd::sim
