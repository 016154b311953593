// The mapping of port names to devices, shared by the library and the tools
// (which find a port's device to explain why it cannot be opened).

#include "platform/platform.h"
#include "platform/port_map.h"

namespace ebd::platform {

unsigned comPortNumber(std::string_view name, bool anyCase) {
    if (name.size() < 4 || name.size() > 6) return 0;
    for (size_t i = 0; i < 3; ++i) {
        const char c = anyCase ? static_cast<char>(name[i] & ~0x20) : name[i];
        if (c != "COM"[i]) return 0;
    }
    const std::string_view digits = name.substr(3);
    if (digits[0] < '1' || digits[0] > '9') return 0;
    unsigned number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number <= 255 ? number : 0;
}

#ifdef _WIN32
const char* const kDefaultDevice = "\\\\.\\COM<N>";

// The device namespace name: it reaches COM10 and above as well as COM1 to COM9.
std::string defaultDevicePath(unsigned number) {
    return "\\\\.\\COM" + std::to_string(number);
}
#else
const char* const kDefaultDevice = "/dev/ttyS<N-1>";

std::string defaultDevicePath(unsigned number) {
    return "/dev/ttyS" + std::to_string(number - 1);
}
#endif

std::string devicePathFor(const char* comName) {
    const unsigned number = comName != nullptr ? comPortNumber(comName) : 0;
    if (number == 0) return {};
    return portMappingFor(number).device;
}

}  // namespace ebd::platform
