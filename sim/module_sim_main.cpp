// module-sim: the module double served in real time on a pseudo-terminal, so
// that the real tools can be run and shown without a module on the desk.
// It prints the device to open, then serves until SIGINT or SIGTERM.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/module_double.h"
#include "sim/pty_host.h"

#ifndef EBD_TOOL_VERSION
#define EBD_TOOL_VERSION "unknown"
#endif

namespace {

using ebd::sim::ModuleDouble;

constexpr const char* kProgram = "module-sim";
constexpr int kExitUsage = 64;
// How long one round of serving may last before the stop flag is looked at.
constexpr uint64_t kRoundNs = 50 * ebd::sim::kMs;

volatile sig_atomic_t g_stop = 0;

void Stop(int) {
    g_stop = 1;
}

struct Options {
    std::string link;
    ModuleDouble::State start = ModuleDouble::State::At;
    std::optional<uint8_t> mode;
    std::optional<std::string> versionText;
    std::optional<uint16_t> refuseAutostart;
    std::vector<std::pair<uint16_t, uint16_t>> refusals;  // request id, status
    std::optional<uint32_t> flashSerialNumber;
    bool neverSwitchOff = false;
    ModuleDouble::Silence silence = ModuleDouble::Silence::None;
    int nakFrames = 0;
    int foreignReferences = 0;
    int withheldConfirms = 0;
    std::vector<uint8_t> stray;
    std::vector<std::pair<uint16_t, size_t>> cuts;  // request id, bytes kept
    ModuleDouble::Endless endless = ModuleDouble::Endless::None;
    uint16_t endlessFrom = ModuleDouble::kAnyRequest;
    bool ignoreNomiSwitch = false;
    std::optional<uint64_t> powerOnAfterMs;
    bool help = false;
    bool version = false;
};

const char* const kUsage =
    "Usage: module-sim [OPTION]...\n"
    "Serve a simulated radio module on a pseudo-terminal. Prints the device to open\n"
    "(for example: EBD_COM1=<device> autostart-off --port 1) and runs until SIGINT or SIGTERM.\n"
    "\n"
    "  --link PATH                also make PATH a symbolic link to the device\n"
    "  --start at|nomi|off        state at start (at: AT-command mode; default)\n"
    "  --mode N                   operation mode after power-on (0 normal, 1 service, 2 test, 4 airplane)\n"
    "  --version-text TEXT        the firmware's version text\n"
    "  --refuse-autostart STATUS  answer the autostart request with status STATUS (1 to 65535)\n"
    "  --refuse ID:STATUS         answer every request ID with status STATUS (e.g. 63:1 refuses the\n"
    "                             save of the other calibration items; may be given again)\n"
    "  --flash-serial N           the module's flash serial number (0 to 4294967295)\n"
    "  --never-switch-off         keep answering after the switch-off request\n"
    "  --silent                   answer nothing at all\n"
    "  --silent-in-nomi           answer nothing once in NOMI mode\n"
    "  --ignore-nomi-switch       answer OK to the switch to NOMI but stay in AT mode\n"
    "  --nak N                    refuse the next N good frames with NAK\n"
    "  --foreign-reference N      answer the next N requests with a foreign reference\n"
    "  --withhold-confirm N       leave the next N requests without confirm\n"
    "  --stray HEX                send these bytes (hex, e.g. 00ff7e) before the next confirm\n"
    "  --cut-confirm ID:N         send only the first N bytes of the next confirm of request ID\n"
    "                             (may be given again for other requests)\n"
    "  --endless KIND[:FROM]      misbehave for ever from the confirm of request FROM on (default: the\n"
    "                             next request; 'nomi': as soon as the module is in NOMI mode). KIND is\n"
    "                             stx-flood, stray-bytes, bad-check, same-segment, same-confirm, or\n"
    "                             silent (answer nothing from then on, without switching off)\n"
    "  --power-on-after MS        switch on again MS milliseconds after switching off\n"
    "                             (a pseudo-terminal has no DTR to do it)\n"
    "  --help                     show this text\n"
    "  --version                  show the version and stop\n"
    "\n"
    "Exit status:\n"
    "  0   ended by SIGINT, SIGTERM or SIGHUP\n"
    "  1   no pseudo-terminal, the link could not be made, or the pseudo-terminal failed\n"
    "  64  usage error\n";

std::optional<unsigned long> Number(const std::string& text, unsigned long max) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10)
        return std::nullopt;
    const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
    if (value > max) return std::nullopt;
    return value;
}

std::optional<std::vector<uint8_t>> HexBytes(const std::string& text) {
    if (text.empty() || text.size() % 2 != 0 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

// Parses the arguments; an empty result means a usage error, told in `error`.
std::optional<Options> Parse(const std::vector<std::string>& args, std::string& error) {
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const auto need = [&]() -> std::optional<std::string> {
            if (value) return value;
            if (i + 1 < args.size()) return args[++i];
            error = "option " + name + " needs a value";
            return std::nullopt;
        };
        const auto number = [&](unsigned long min, unsigned long max) -> std::optional<unsigned long> {
            const auto text = need();
            if (!text) return std::nullopt;
            const auto parsed = Number(*text, max);
            if (!parsed || *parsed < min) {
                error = "option " + name + " wants a number from " + std::to_string(min) + " to " +
                        std::to_string(max) + ", not '" + *text + "'";
                return std::nullopt;
            }
            return parsed;
        };
        const auto flag = [&](bool& target) {
            if (value) {
                error = "option " + name + " takes no value";
                return;
            }
            target = true;
        };
        bool silent = false;
        bool silentInNomi = false;
        if (name == "--link") {
            if (const auto text = need()) options.link = *text;
        } else if (name == "--start") {
            if (const auto text = need()) {
                if (*text == "at") {
                    options.start = ModuleDouble::State::At;
                } else if (*text == "nomi") {
                    options.start = ModuleDouble::State::Nomi;
                } else if (*text == "off") {
                    options.start = ModuleDouble::State::Off;
                } else {
                    error = "--start wants at, nomi or off, not '" + *text + "'";
                }
            }
        } else if (name == "--mode") {
            if (const auto n = number(0, 255)) options.mode = static_cast<uint8_t>(*n);
        } else if (name == "--version-text") {
            options.versionText = need();
        } else if (name == "--refuse-autostart") {
            if (const auto n = number(1, 65535)) options.refuseAutostart = static_cast<uint16_t>(*n);
        } else if (name == "--never-switch-off") {
            flag(options.neverSwitchOff);
        } else if (name == "--silent") {
            flag(silent);
            if (silent) options.silence = ModuleDouble::Silence::All;
        } else if (name == "--silent-in-nomi") {
            flag(silentInNomi);
            if (silentInNomi) options.silence = ModuleDouble::Silence::Nomi;
        } else if (name == "--ignore-nomi-switch") {
            flag(options.ignoreNomiSwitch);
        } else if (name == "--nak") {
            if (const auto n = number(1, 1'000'000)) options.nakFrames = static_cast<int>(*n);
        } else if (name == "--foreign-reference") {
            if (const auto n = number(1, 1'000'000)) options.foreignReferences = static_cast<int>(*n);
        } else if (name == "--withhold-confirm") {
            if (const auto n = number(1, 1'000'000)) options.withheldConfirms = static_cast<int>(*n);
        } else if (name == "--stray") {
            if (const auto text = need()) {
                if (const auto bytes = HexBytes(*text)) {
                    options.stray = *bytes;
                } else {
                    error = "--stray wants bytes in hex, not '" + *text + "'";
                }
            }
        } else if (name == "--refuse") {
            if (const auto text = need()) {
                const size_t colon = text->find(':');
                const auto id =
                    colon == std::string::npos ? std::nullopt : Number(text->substr(0, colon), 65535);
                const auto status =
                    colon == std::string::npos ? std::nullopt : Number(text->substr(colon + 1), 65535);
                if (!id || !status || *id == 0 || *status == 0) {
                    error = "--refuse wants ID:STATUS (e.g. 63:1), not '" + *text + "'";
                } else {
                    options.refusals.emplace_back(static_cast<uint16_t>(*id), static_cast<uint16_t>(*status));
                }
            }
        } else if (name == "--flash-serial") {
            if (const auto n = number(0, 4294967295UL)) options.flashSerialNumber = static_cast<uint32_t>(*n);
        } else if (name == "--cut-confirm") {
            if (const auto text = need()) {
                const size_t colon = text->find(':');
                const auto id =
                    colon == std::string::npos ? std::nullopt : Number(text->substr(0, colon), 65535);
                const auto bytes =
                    colon == std::string::npos ? std::nullopt : Number(text->substr(colon + 1), 1500);
                if (!id || !bytes) {
                    error = "--cut-confirm wants REQUEST:BYTES (e.g. 107:2), not '" + *text + "'";
                } else {
                    options.cuts.emplace_back(static_cast<uint16_t>(*id), *bytes);
                }
            }
        } else if (name == "--endless") {
            if (const auto text = need()) {
                const size_t colon = text->find(':');
                const std::string kind = text->substr(0, colon);
                const std::string from = colon == std::string::npos ? "" : text->substr(colon + 1);
                const std::pair<const char*, ModuleDouble::Endless> kinds[] = {
                    {"stx-flood", ModuleDouble::Endless::StxFlood},
                    {"stray-bytes", ModuleDouble::Endless::StrayBytes},
                    {"bad-check", ModuleDouble::Endless::BadCheckFrame},
                    {"same-segment", ModuleDouble::Endless::SameSegment},
                    {"same-confirm", ModuleDouble::Endless::SameConfirm},
                    {"silent", ModuleDouble::Endless::Silent}};
                for (const auto& [word, kindValue] : kinds)
                    if (kind == word) options.endless = kindValue;
                std::optional<unsigned long> request;
                if (from == "nomi") {
                    request = ModuleDouble::kOnNomiEntry;
                } else if (from.empty()) {
                    request = ModuleDouble::kAnyRequest;
                } else {
                    request = Number(from, 65534);
                }
                if (options.endless == ModuleDouble::Endless::None || !request) {
                    error = "--endless wants KIND[:REQUEST|nomi], not '" + *text + "'";
                } else {
                    options.endlessFrom = static_cast<uint16_t>(*request);
                }
            }
        } else if (name == "--power-on-after") {
            if (const auto n = number(0, 3'600'000)) options.powerOnAfterMs = *n;
        } else if (name == "--help" || name == "-h") {
            flag(options.help);
        } else if (name == "--version") {
            flag(options.version);
        } else {
            error = "unknown option '" + args[i] + "'";
        }
        if (!error.empty()) return std::nullopt;
    }
    return options;
}

ModuleDouble::Settings SettingsFor(const Options& options) {
    ModuleDouble::Settings settings;
    settings.start = options.start;
    settings.neverSwitchOff = options.neverSwitchOff;
    settings.silence = options.silence;
    settings.at.honourSwitch = !options.ignoreNomiSwitch;
    // A long-running simulator keeps no history of the line.
    settings.recordLimit = 0;
    return settings;
}

ebd::sim::Firmware::Config FirmwareFor(const Options& options) {
    ebd::sim::Firmware::Config config;
    if (options.mode) config.startOperationMode = *options.mode;
    if (options.versionText) config.versionText = *options.versionText;
    if (options.flashSerialNumber) config.flashSerialNumber = *options.flashSerialNumber;
    return config;
}

// The symbolic link to the device: made at start, removed at the end if it
// still points to this device. An existing link is replaced, anything else kept.
class DeviceLink {
public:
    DeviceLink(std::string path, std::string target) : path_(std::move(path)), target_(std::move(target)) {}
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;
    ~DeviceLink() {
        if (!made_) return;
        char now[PATH_MAX];
        const ssize_t n = readlink(path_.c_str(), now, sizeof now - 1);
        if (n > 0 && std::string(now, static_cast<size_t>(n)) == target_) unlink(path_.c_str());
    }

    bool make(std::string& error) {
        struct stat info {};
        if (lstat(path_.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
            error = path_ + " exists and is no symbolic link";
            return false;
        }
        // A new link under a temporary name, then renamed over the old one.
        const std::string temporary = path_ + ".module-sim." + std::to_string(getpid());
        unlink(temporary.c_str());
        if (symlink(target_.c_str(), temporary.c_str()) != 0 ||
            rename(temporary.c_str(), path_.c_str()) != 0) {
            error = "cannot make the link " + path_ + ": " + std::strerror(errno);
            unlink(temporary.c_str());
            return false;
        }
        made_ = true;
        return true;
    }

private:
    std::string path_;
    std::string target_;
    bool made_ = false;
};

int Serve(const Options& options) {
    ModuleDouble module(SettingsFor(options), FirmwareFor(options));
    if (options.refuseAutostart)
        module.firmware().refuse(ebd::sim::Firmware::kJavaAutostart, *options.refuseAutostart);
    for (const auto& [request, status] : options.refusals) module.firmware().refuse(request, status);
    if (options.nakFrames > 0) module.nakHostFrames(options.nakFrames);
    if (options.foreignReferences > 0)
        module.foreignReference(ModuleDouble::kAnyRequest, options.foreignReferences);
    if (options.withheldConfirms > 0)
        module.withholdConfirm(ModuleDouble::kAnyRequest, options.withheldConfirms);
    if (!options.stray.empty()) module.injectBeforeNextConfirm(options.stray);
    for (const auto& [request, bytes] : options.cuts) module.cutConfirm(request, bytes);
    if (options.endless != ModuleDouble::Endless::None)
        module.startEndless(options.endless, options.endlessFrom);

    std::string error;
    const auto host = ebd::sim::PtyHost::Open(module, &error);
    if (!host) {
        std::fprintf(stderr, "%s: cannot open a pseudo-terminal: %s\n", kProgram, error.c_str());
        return 1;
    }
    DeviceLink link(options.link, host->slavePath());
    if (!options.link.empty() && !link.make(error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 1;
    }
    std::printf("%s\n", host->slavePath().c_str());
    std::fflush(stdout);

    // Switched off, the module waits for its ignition; with --power-on-after
    // the simulator pulses it, since no program can raise DTR on a pty.
    uint64_t offSinceNs = 0;
    while (g_stop == 0) {
        if (!host->serveFor(kRoundNs)) {
            std::fprintf(stderr, "%s: the pseudo-terminal failed: %s\n", kProgram, std::strerror(errno));
            return 1;
        }
        if (!options.powerOnAfterMs) continue;
        const uint64_t now = ebd::sim::PtyHost::nowNs();
        if (module.state() != ModuleDouble::State::Off) {
            offSinceNs = 0;
            host->setDtr(false);
        } else if (offSinceNs == 0) {
            offSinceNs = now;
        } else if (now - offSinceNs >= *options.powerOnAfterMs * ebd::sim::kMs) {
            host->setDtr(true);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        std::string error;
        const auto options = Parse(std::vector<std::string>(argv + 1, argv + argc), error);
        if (!options) {
            std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, error.c_str(),
                         kProgram);
            return kExitUsage;
        }
        if (options->help) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (options->version) {
            std::printf("%s %s\n", kProgram, EBD_TOOL_VERSION);
            return 0;
        }
        // No SA_RESTART: a signal ends the wait of the current round at once.
        struct sigaction action {};
        action.sa_handler = Stop;
        sigemptyset(&action.sa_mask);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
        ::signal(SIGPIPE, SIG_IGN);
        return Serve(*options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.what());
    }
    return 1;
}
