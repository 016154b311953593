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

// A change of the port map: COM<port> stands for `device`, or, with no
// device, for its default again.
struct PortMapChange {
    int port = 0;
    std::string device;
    bool operator==(const PortMapChange&) const = default;
};

struct CliOptions {
    std::vector<int> ports;  // in the order given, each at most once
    // Device paths for ports of this run: (port, path).
    std::vector<std::pair<int, std::string>> devices;
    // Ports given by a name beyond the port table (Windows, "COM41"): the
    // free port number that carries it and the name, for the user.
    std::vector<std::pair<int, std::string>> names;
    std::vector<PortMapChange> mapChanges;  // in the order given
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
// as the next argument or after '=' (--port 3, --port=3). On Windows "/?"
// asks for the help as well.
CliParse ParseCliOptions(const std::vector<std::string>& args);

std::string UsageText(const std::string& program);

// "COM<port>", or the name the user gave for it.
std::string PortLabel(const CliOptions& options, int port);

}  // namespace ebd::app
