#include "app/port_names.h"

#include "platform/platform.h"
#include "platform/port_map.h"

namespace ebd::app {

namespace {

std::string SourceText(int port, const platform::PortMapping& mapping) {
    switch (mapping.source) {
        case platform::PortSource::Environment:
            return "EBD_COM" + std::to_string(port);
        case platform::PortSource::Map:
            return "port map";
        case platform::PortSource::Default:
            break;
    }
    return "default";
}

}  // namespace

std::optional<int> ComNumber(std::string_view text) {
    if (text.size() < 4 || text.size() > 6) return std::nullopt;
    for (size_t i = 0; i < 3; ++i) {
        if ((text[i] & ~0x20) != "COM"[i]) return std::nullopt;
    }
    const std::string_view digits = text.substr(3);
    if (digits[0] < '1' || digits[0] > '9') return std::nullopt;
    int number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number > 255) return std::nullopt;
    return number;
}

std::optional<std::string> DeviceForComName(std::string_view text) {
#ifdef _WIN32
    // The device namespace reaches COM10 and above, which the plain name does not.
    if (const std::optional<int> number = ComNumber(text)) return platform::defaultDevicePath(*number);
#else
    (void)text;
#endif
    return std::nullopt;
}

std::string DescribePortMapping(int port) {
    const platform::PortMapping mapping = platform::portMappingFor(static_cast<unsigned>(port));
    std::string text =
        "COM" + std::to_string(port) + ": " + mapping.device + " (" + SourceText(port, mapping) + ")";
    if (!mapping.ignored.empty()) text += "\nport map entry passed over: " + mapping.ignored;
    return text;
}

std::string PortMapNotes() {
    std::string text;
    for (unsigned port = platform::kFirstMappedPort; port <= platform::kLastMappedPort; ++port) {
        const platform::PortMapping mapping = platform::portMapEntry(port);
        if (mapping.ignored.empty()) continue;
        text += "COM" + std::to_string(port) + ": the entry in " + platform::portMapLocation() +
                " is passed over: " + mapping.ignored + "\n";
    }
    return text;
}

std::string PortMapUsage() {
    return "  --map-port COM<N>=DEVICE\n"
           "                   make COM<N>, 1 to 32, stand for DEVICE for every program and user:\n"
           "                   the port map in the machine's settings store (needs the right to\n"
           "                   write it); EBD_COM<N> still comes first\n"
           "  --unmap-port COM<N>\n"
           "                   remove COM<N> from the port map\n";
}

std::string ComNameUsage() {
#ifdef _WIN32
    return "                   or a port name COM<M> for \\\\.\\COM<M>; --port COM<M> with M above 32\n"
           "                   runs that port through a free port number\n";
#else
    return {};
#endif
}

}  // namespace ebd::app
