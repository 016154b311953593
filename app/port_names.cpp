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
    const unsigned number = platform::comPortNumber(text, true);
    if (number == 0) return std::nullopt;
    return static_cast<int>(number);
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
