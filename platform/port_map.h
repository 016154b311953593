// The port map: the device each COM name stands for, kept in the machine's
// settings store so that a station sets it up once for every program and
// every user, the window started from a menu included.
//
// Linux: the key [Ports] of the settings file, "COM3"="/dev/serial/by-id/...".
// Windows: the key Ports below the library's registry key, REG_SZ values
// "COM3"="\\.\COM41".
#pragma once

#include <cstddef>
#include <string>

namespace ebd::platform {

// The map names the ports of the library's port table.
inline constexpr unsigned kFirstMappedPort = 1;
inline constexpr unsigned kLastMappedPort = 32;
// Longer device paths are no device names: such an entry is not used.
inline constexpr size_t kMaxMappedDevice = 255;

enum class PortSource { Environment, Map, Default };

struct PortMapping {
    std::string device;  // empty for a name that is no port
    PortSource source = PortSource::Default;
    // Why the map's entry for this port was passed over; empty when there is
    // none or it is used.
    std::string ignored;
};

// Where the device of COM<number> comes from: EBD_COM<number> from the
// environment, else the map (ports 1 to 32), else the system's own device.
// Reads the store at every call.
PortMapping portMappingFor(unsigned number);

// The map's own entry of COM<number>: source Map with its device when it is
// used; otherwise no device, and `ignored` says why when there is an entry.
PortMapping portMapEntry(unsigned number);

// "environment", "map" or "default".
const char* portSourceName(PortSource source);

// Where the map is kept, for people: the settings file and its key, or the
// registry key.
std::string portMapLocation();

// Why `device` cannot stand in the map; empty when it can.
std::string badMappedDevice(const std::string& device);

// Sets or removes the map's entry of COM<number>. Empty on success, else what
// failed and why, naming the file or key.
std::string mapPort(unsigned number, const std::string& device);
std::string unmapPort(unsigned number);

}  // namespace ebd::platform
