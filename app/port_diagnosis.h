// Why a port cannot be opened, told in terms the user can act on, and the
// list of COM names with their devices. Both look at the device from outside
// the library: stat, a trial open and a trial lock.
#pragma once

#include <string>
#include <vector>

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
    std::string group;   // NoPermission: a group other than root's that may read and write it
    std::string holder;  // Held: "pid N, name; pid M, name" of what could be found
    std::string detail;  // Other: the system's message
};

// Opens the device of COM<port> for a moment (without taking it from anybody).
PortDiagnosis DiagnosePort(int port);

// One line for standard error; empty for PortProblem::None. `deviceGiven`:
// the user named the device on the command line, not through EBD_COM<port>.
std::string DescribePortProblem(int port, const PortDiagnosis& diagnosis, bool deviceGiven = false);

// The processes other than this one that have the device of COM<port> open,
// as "pid N, name", for a port that opened but whose module stayed silent.
// Empty where the system cannot tell.
std::vector<std::string> OtherUsersOf(int port);
// One line for standard error naming `users`; empty when there are none.
std::string DescribeOtherUsers(int port, const std::vector<std::string>& users);

// "COM<n>  <device>  <state>" for COM1 to COM32 and, where the system can tell,
// the serial devices found below `root` (see serial_devices.h), without
// opening any port.
std::string ListPorts(const std::string& root = "/");

// The lines of the usage text that differ by system: the --device option and
// what --list-ports shows.
std::string DeviceUsage();
std::string ListPortsUsage();

}  // namespace ebd::app
