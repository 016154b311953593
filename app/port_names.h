// Port names as the user writes them and the port map as the tools show it:
// the texts both windows, the listing and the command line share, free of any
// toolkit.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ebd::app {

// "COM<n>" with n from 1 to 255 (upper or lower case, no leading zeros): n.
std::optional<int> ComNumber(std::string_view text);

// Where a COM name may stand for a device (Windows: "COM41" for \\.\COM41),
// that device; nothing elsewhere and for any other text.
std::optional<std::string> DeviceForComName(std::string_view text);

// COM<port>'s device and where it comes from, for a tooltip:
// "COM3: /dev/ttyUSB0 (port map)", with a second line when the map's entry
// for the port is passed over and why.
std::string DescribePortMapping(int port);

// One line per entry of the port map that is passed over, and why; empty when
// there is none.
std::string PortMapNotes();

// The usage lines of --map-port and --unmap-port.
std::string PortMapUsage();

// What the system adds to the description of --device: nothing on Linux, the
// COM names beyond COM32 on Windows.
std::string ComNameUsage();

}  // namespace ebd::app
