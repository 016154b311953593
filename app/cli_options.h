// The command line of autostart-off: its options, parsed without side effects
// so that every rule can be checked on its own.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ebd::app {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 32;

struct CliOptions {
    std::vector<int> ports;  // in the order given, each at most once
    // Device paths for ports of this run: (port, path).
    std::vector<std::pair<int, std::string>> devices;
    bool trace = false;
    bool verbose = false;
    bool listPorts = false;
    bool help = false;
    bool version = false;
};

struct CliParse {
    std::optional<CliOptions> options;  // empty on a usage error
    std::string error;                  // why, for the user
};

// `args` are the arguments without the program name. Options take their value
// as the next argument or after '=' (--port 3, --port=3).
CliParse ParseCliOptions(const std::vector<std::string>& args);

std::string UsageText(const std::string& program);

}  // namespace ebd::app
