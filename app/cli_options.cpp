#include "app/cli_options.h"

#include <algorithm>
#include <string_view>

#include "app/port_diagnosis.h"
#include "platform/platform.h"

namespace ebd::app {

namespace {

// A port number as the user writes it: decimal digits only, 1 to 32.
std::optional<int> PortNumber(std::string_view text) {
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
        if (error_.empty()) placeLooseDevice();
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
        } else if (name == "--help" || name == "-h") {
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

    void addDevice(const std::string& path) {
        if (path.empty()) {
            error_ = "--device wants a device path";
            return;
        }
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
        const auto same = [port](const auto& entry) { return entry.first == port; };
        if (std::any_of(options_.devices.begin(), options_.devices.end(), same)) {
            error_ = "two devices for COM" + std::to_string(port);
            return;
        }
        options_.devices.emplace_back(port, path);
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
           "  --port N         the module's port COM<N>, 1 to 32; give it several times to treat\n"
           "                   several modules at once, each in a process of its own\n" +
           DeviceUsage() +
           "  --trace          write the library's trace to tracefiles/tracefile.txt\n"
           "  --verbose        write the library's trace lines to standard error instead\n" +
           ListPortsUsage() +
           "  --help           show this text and stop\n"
           "  --version        show the version and stop\n"
           "\n"
           "COM<N> is the device named by the environment variable EBD_COM<N>, else " +
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
           "With several ports, one line \"COM<N>: <outcome>\" per port, and the highest status.\n";
}

}  // namespace ebd::app
