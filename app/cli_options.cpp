#include "app/cli_options.h"

#include <algorithm>
#include <string_view>

#include "app/port_diagnosis.h"
#include "app/port_names.h"
#include "platform/platform.h"
#include "platform/port_map.h"

namespace ebd::app {

namespace {

#ifdef _WIN32
constexpr bool kSlashHelp = true;
#else
constexpr bool kSlashHelp = false;
#endif

// A port number as the user writes it: decimal digits only, 1 to 32, or its
// name COM1 to COM32.
std::optional<int> PortNumber(std::string_view text) {
    if (const std::optional<int> number = ComNumber(text))
        return *number <= kLastPort ? number : std::nullopt;
    if (text.empty() || text.size() > 2) return std::nullopt;
    int number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number < kFirstPort || number > kLastPort) return std::nullopt;
    return number;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : args_(args) {}

    CliParse run() {
        while (next_ < args_.size() && error_.empty()) take(args_[next_++]);
        if (error_.empty()) placeNamedPorts();
        if (error_.empty()) placeLooseDevice();
        if (error_.empty() && !options_.mapChanges.empty() && !options_.ports.empty())
            error_ = "--map-port and --unmap-port do not go with --port";
        if (!error_.empty()) return {std::nullopt, error_};
        return {options_, {}};
    }

private:
    void take(const std::string& arg) {
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        if (name == "--port") {
            if (const auto value = valueOf(name, inlineValue)) addPort(*value);
        } else if (name == "--device") {
            if (const auto value = valueOf(name, inlineValue)) addDevice(*value);
        } else if (name == "--trace") {
            flag(name, inlineValue, options_.trace);
        } else if (name == "--verbose") {
            flag(name, inlineValue, options_.verbose);
        } else if (name == "--list-ports") {
            flag(name, inlineValue, options_.listPorts);
        } else if (name == "--map-port") {
            if (const auto value = valueOf(name, inlineValue)) addMapping(*value);
        } else if (name == "--unmap-port") {
            if (const auto value = valueOf(name, inlineValue)) addUnmapping(*value);
        } else if (name == "--help" || name == "-h" || (kSlashHelp && name == "/?")) {
            flag(name, inlineValue, options_.help);
        } else if (name == "--version") {
            flag(name, inlineValue, options_.version);
        } else if (name.rfind('-', 0) == 0) {
            error_ = "unknown option '" + name + "'";
        } else {
            error_ = "unexpected argument '" + arg + "'";
        }
    }

    std::optional<std::string> valueOf(const std::string& name,
                                       const std::optional<std::string>& inlineValue) {
        if (inlineValue) return inlineValue;
        if (next_ < args_.size()) return args_[next_++];
        error_ = "option " + name + " needs a value";
        return std::nullopt;
    }

    void flag(const std::string& name, const std::optional<std::string>& inlineValue, bool& target) {
        if (inlineValue) {
            error_ = "option " + name + " takes no value";
            return;
        }
        target = true;
    }

    void addPort(const std::string& text) {
        // A name beyond the port table waits for a free port number.
        if (const auto device = DeviceForComName(text); device && !PortNumber(text)) {
            const std::string name = "COM" + std::to_string(*ComNumber(text));
            for (const auto& waiting : namedPorts_) {
                if (waiting.second == name) {
                    error_ = name + " is given twice";
                    return;
                }
            }
            namedPorts_.emplace_back(options_.ports.size(), name);
            options_.ports.push_back(0);
            return;
        }
        const std::optional<int> port = PortNumber(text);
        if (!port) {
            error_ = "--port wants a port number from 1 to 32, not '" + text + "'";
            return;
        }
        if (std::find(options_.ports.begin(), options_.ports.end(), *port) != options_.ports.end()) {
            error_ = "COM" + std::to_string(*port) + " is given twice";
            return;
        }
        options_.ports.push_back(*port);
    }

    void addDevice(const std::string& given) {
        if (given.empty()) {
            error_ = "--device wants a device path";
            return;
        }
        const std::string path = DeviceForComName(given).value_or(given);
        // Before any --port the device waits for the only port of the run.
        if (options_.ports.empty()) {
            if (looseDevice_) {
                error_ = "two --device options before any --port";
                return;
            }
            looseDevice_ = path;
            return;
        }
        setDevice(options_.ports.back(), path);
    }

    void setDevice(int port, const std::string& path) {
        if (port == 0) {
            error_ = "a port given by its name COM<N> has its device already";
            return;
        }
        const auto same = [port](const auto& entry) { return entry.first == port; };
        if (std::any_of(options_.devices.begin(), options_.devices.end(), same)) {
            error_ = "two devices for COM" + std::to_string(port);
            return;
        }
        options_.devices.emplace_back(port, path);
    }

    // Each port given by a name beyond the table runs as the lowest port
    // number the run does not use otherwise.
    void placeNamedPorts() {
        for (const auto& [index, name] : namedPorts_) {
            int carrier = kFirstPort;
            while (carrier <= kLastPort &&
                   std::find(options_.ports.begin(), options_.ports.end(), carrier) != options_.ports.end())
                ++carrier;
            if (carrier > kLastPort) {
                error_ = "no free port number left for " + name;
                return;
            }
            options_.ports[index] = carrier;
            options_.devices.emplace_back(carrier, *DeviceForComName(name));
            options_.names.emplace_back(carrier, name);
        }
    }

    // "COM<N>=DEVICE" or "N=DEVICE".
    void addMapping(const std::string& text) {
        const size_t eq = text.find('=');
        const std::optional<int> port =
            eq == std::string::npos ? std::nullopt : PortNumber(text.substr(0, eq));
        if (!port) {
            error_ = "--map-port wants COM<N>=DEVICE with N from 1 to 32, not '" + text + "'";
            return;
        }
        const std::string given = text.substr(eq + 1);
        const std::string device = DeviceForComName(given).value_or(given);
        if (const std::string why = platform::badMappedDevice(device); !why.empty()) {
            error_ = "--map-port: '" + given + "' is " + (why == "empty" ? "no device" : why);
            return;
        }
        options_.mapChanges.push_back({*port, device});
    }

    void addUnmapping(const std::string& text) {
        const std::optional<int> port = PortNumber(text);
        if (!port) {
            error_ = "--unmap-port wants COM<N> with N from 1 to 32, not '" + text + "'";
            return;
        }
        options_.mapChanges.push_back({*port, {}});
    }

    void placeLooseDevice() {
        if (!looseDevice_) return;
        if (options_.ports.size() != 1) {
            error_ = "--device must follow the --port it is meant for";
            return;
        }
        setDevice(options_.ports.front(), *looseDevice_);
    }

    const std::vector<std::string>& args_;
    size_t next_ = 0;
    CliOptions options_;
    std::optional<std::string> looseDevice_;
    // Ports given by a name beyond the table: their place in `ports`, the name.
    std::vector<std::pair<size_t, std::string>> namedPorts_;
    std::string error_;
};

}  // namespace

CliParse ParseCliOptions(const std::vector<std::string>& args) {
    return Parser(args).run();
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program +
           " [OPTION]...\n"
           "Switch off the Java autostart of the module on a serial port, then switch the module off.\n"
           "\n"
           "  --port N         the module's port COM<N>, 1 to 32, also written COM<N>; give it\n"
           "                   several times to treat several modules at once, each in a process\n"
           "                   of its own\n" +
           DeviceUsage() + ComNameUsage() +
           "  --trace          write the library's trace to tracefiles/tracefile.txt\n"
           "  --verbose        write the library's trace lines to standard error instead\n" +
           ListPortsUsage() + PortMapUsage() +
           "  --help           show this text and stop\n"
           "  --version        show the version and stop\n"
           "\n"
           "COM<N> is the device named by the environment variable EBD_COM<N>, else by the port map,\n"
           "else " +
           platform::kDefaultDevice +
           ".\n"
           "\n"
           "Exit status:\n"
           "  0   Autostart successfully switched off\n"
           "  1   No COM Port selected\n"
           "  2   Cannot connect to Module\n"
           "  3   Cannot switchoff autostart\n"
           "  4   Cannot close Module connection\n"
           "  64  usage error\n"
           "  70  internal failure\n"
           "  73  the port map cannot be written\n"
           "With several ports, one line \"COM<N>: <outcome>\" per port, and the highest status.\n";
}

std::string PortLabel(const CliOptions& options, int port) {
    for (const auto& [carrier, name] : options.names) {
        if (carrier == port) return name;
    }
    return "COM" + std::to_string(port);
}

}  // namespace ebd::app
