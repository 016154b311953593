// The module's AT-command interpreter: echoes every byte and answers each line
// on its carriage return. "at^xqwe=1" answers OK and then hands the port to NOMI.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ebd::sim {

class AtInterpreter {
public:
    enum class Echo { Plain, UpperCase, None };
    struct Config {
        Echo echo = Echo::Plain;
        bool honourSwitch = true;  // false: "at^xqwe=1" answers OK but the port stays in AT mode
    };
    struct Answer {
        std::vector<uint8_t> bytes;
        bool lineEnded = false;     // a line was evaluated: see line()
        bool switchToNomi = false;  // after these bytes have gone out
    };

    Answer feed(uint8_t byte, const Config& config);
    void reset() { line_.clear(), lastLine_.clear(); }
    // The last line evaluated, as received (without its CR).
    const std::string& line() const { return lastLine_; }

private:
    static constexpr size_t kMaxLine = 256;

    std::string line_;
    std::string lastLine_;
};

}  // namespace ebd::sim
