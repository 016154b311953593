// Why a port cannot be opened, told in terms the user can act on, and the
// list of COM names with their devices. Both look at the device from outside
// the library: stat, a trial open and a trial lock.
#pragma once

#include <string>

namespace ebd::app {

enum class PortProblem {
    None,          // the port can be opened and locked now
    NoDevice,      // nothing at the device path
    NotSerial,     // something is there, but no terminal device
    NoPermission,  // the user may not open it
    Held,          // another program holds it
    Other,
};

struct PortDiagnosis {
    PortProblem problem = PortProblem::None;
    std::string device;  // the path the port maps to
    std::string group;   // NoPermission: the device's group
    std::string holder;  // Held: "pid N, name" when it could be found
    std::string detail;  // Other: the system's message
};

// Opens the device of COM<port> for a moment (without taking it from anybody).
PortDiagnosis DiagnosePort(int port);

// One line for standard error; empty for PortProblem::None.
std::string DescribePortProblem(int port, const PortDiagnosis& diagnosis);

// "COM<n>  <device>  <state>" for COM1 to COM32 and, where the system can tell,
// the serial devices found below `root` (see serial_devices.h), without
// opening any port.
std::string ListPorts(const std::string& root = "/");

// The lines of the usage text that differ by system: the --device option and
// what --list-ports shows.
std::string DeviceUsage();
std::string ListPortsUsage();

}  // namespace ebd::app
