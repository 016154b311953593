// Why a port cannot be opened, and the list of COM names, on Windows: a trial
// open like the library's, and the system's table of DOS device names.
#include "app/port_diagnosis_win32.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/cli_options.h"
#include "app/port_diagnosis.h"
#include "app/port_names.h"
#include "platform/platform.h"
#include "platform/port_map.h"
#include "platform/unique_handle.h"

namespace ebd::app {

namespace {

constexpr const char* kDeviceNamespace = "\\\\.\\";

std::string ComName(int port) {
    return "COM" + std::to_string(port);
}

// What the system's table of DOS device names holds for `device` when it is a
// name in the device namespace (\\.\COM5 -> \Device\Serial4); empty when it
// holds nothing.
std::string DosDeviceTarget(const std::string& device) {
    if (device.rfind(kDeviceNamespace, 0) != 0) return {};
    const std::string name = device.substr(std::char_traits<char>::length(kDeviceNamespace));
    char target[1024];
    if (name.empty() || QueryDosDeviceA(name.c_str(), target, sizeof target) == 0) return {};
    return target;
}

}  // namespace

std::string SystemErrorText(unsigned long error) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length != 0 && buffer != nullptr ? std::string(buffer, length) : "unknown error";
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text + " (error " + std::to_string(error) + ")";
}

PortDiagnosis DiagnoseOpenError(const std::string& device, unsigned long error) {
    PortDiagnosis result;
    result.device = device;
    switch (platform::openErrorFor(error)) {
        case platform::OpenError::NoDevice:
            result.problem = PortProblem::NoDevice;
            break;
        // Windows' "access denied" for a port another program has open.
        case platform::OpenError::Busy:
            result.problem = PortProblem::Held;
            break;
        default:
            result.problem = PortProblem::Other;
            result.detail = SystemErrorText(error);
            break;
    }
    return result;
}

PortDiagnosis DiagnosePort(int port) {
    PortDiagnosis result;
    result.device = platform::devicePathFor(ComName(port).c_str());
    if (result.device.empty()) {
        result.problem = PortProblem::NoDevice;
        return result;
    }
    // The library's open: exclusive, an existing device only.
    const platform::UniqueHandle trial(CreateFileA(result.device.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                   nullptr, OPEN_EXISTING, 0, nullptr));
    if (!trial.valid()) return DiagnoseOpenError(result.device, GetLastError());
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(trial.get(), &dcb)) result.problem = PortProblem::NotSerial;
    return result;
}

// Windows tells nobody which program has a port open.
std::vector<std::string> OtherUsersOf(int /*port*/) {
    return {};
}

std::string DescribeOtherUsers(int /*port*/, const std::vector<std::string>& /*users*/) {
    return {};
}

std::string DescribePortProblem(int port, const PortDiagnosis& diagnosis, bool /*deviceGiven*/) {
    const std::string where = ComName(port) + " (" + diagnosis.device + "): ";
    switch (diagnosis.problem) {
        case PortProblem::None:
            return {};
        case PortProblem::NoDevice:
            if (diagnosis.device.empty()) return ComName(port) + ": no device for this port";
            return where +
                   "no such port; is the module plugged in? The Device Manager lists the COM ports under "
                   "\"Ports (COM & LPT)\"";
        case PortProblem::NotSerial:
            return where + "not a serial device";
        case PortProblem::NoPermission:
            return where + "no permission to open it";
        case PortProblem::Held:
            return where +
                   "held by another program (Windows reports access denied); close the program that uses the "
                   "port, for example a terminal or a modem tool, and try again";
        case PortProblem::Other:
            break;
    }
    return where + "cannot be opened: " + diagnosis.detail;
}

// Windows keeps no description of a port's hardware that a listing could
// read without opening it: `root` has no use here.
std::string ListPorts(const std::string& /*root*/) {
    std::string text;
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const std::string com = ComName(port);
        const platform::PortMapping mapping = platform::portMappingFor(static_cast<unsigned>(port));
        const std::string& device = mapping.device;
        const std::string target = DosDeviceTarget(device);
        const std::string state = target.empty() ? "missing" : "present (" + target + ")";
        char line[1200];
        std::snprintf(line, sizeof line, "%-6s %-28s %-11s %s\n", com.c_str(), device.c_str(),
                      platform::portSourceName(mapping.source), state.c_str());
        text += line;
    }
    return text + PortMapNotes();
}

std::string DeviceUsage() {
    return "  --device PATH    use the device PATH for the port of the --port before it (or of\n"
           "                   the only --port) in this run, instead of EBD_COM<N> or \\\\.\\COM<N>\n";
}

std::string ListPortsUsage() {
    return "  --list-ports     list COM1 to COM32 with their devices and whether each exists, and\n"
           "                   stop; opens no port\n";
}

}  // namespace ebd::app
