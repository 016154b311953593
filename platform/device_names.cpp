// The mapping of port names to devices, shared by the library and the tools
// (which find a port's device to explain why it cannot be opened).
#include <cstring>

#include "platform/platform.h"
#include "platform/port_map.h"

namespace ebd::platform {

namespace {

// The port number of "COM<n>", or 0 when the name is not COM followed by 1 to
// 255 written without leading zeros (the library forms the names with "COM%d").
unsigned portNumberOf(const char* comName) {
    if (comName == nullptr || std::strncmp(comName, "COM", 3) != 0) return 0;
    const char* digits = comName + 3;
    if (digits[0] < '1' || digits[0] > '9') return 0;
    unsigned number = 0;
    for (size_t i = 0; digits[i] != '\0'; ++i) {
        if (i == 3 || digits[i] < '0' || digits[i] > '9') return 0;
        number = number * 10 + static_cast<unsigned>(digits[i] - '0');
    }
    return number <= 255 ? number : 0;
}

}  // namespace

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
    const unsigned number = portNumberOf(comName);
    if (number == 0) return {};
    return portMappingFor(number).device;
}

}  // namespace ebd::platform
