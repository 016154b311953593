// The serial devices of this machine as the system describes them: USB
// adapters (ttyUSB), modems (ttyACM) and serial ports with a UART behind them
// (ttyS), each with its stable /dev/serial/by-id name, the USB ids and strings
// read from sysfs, and the COM numbers that map to it. Nothing is opened.
#pragma once

#include <string>
#include <vector>

namespace ebd::app {

struct SerialDevice {
    std::string device;        // "/dev/ttyUSB0"
    std::string byId;          // "/dev/serial/by-id/...", empty when there is none
    std::string vendorId;      // "0403"; empty when the device is not on USB
    std::string productId;     // "6001"
    std::string manufacturer;  // strings the USB device reports, empty when it has none
    std::string product;
    std::string serialNumber;
    std::vector<int> comPorts;  // COM numbers whose device this is, ascending
};

// The devices below `root` ("/" on a running system; tests pass a tree of
// their own with sys/class/tty, sys/devices and dev in it), sorted by kind and
// number. The COM numbers come from EBD_COM<n> or the default /dev/ttyS<n-1>;
// device paths they name are looked up below `root` as well.
std::vector<SerialDevice> FindSerialDevices(const std::string& root = "/");

// What is known about the device, one "name: value" line each (by-id name,
// USB ids, manufacturer, product, serial number); known fields only.
std::vector<std::string> DescribeSerialDevice(const SerialDevice& device);

// The device COM<port> maps to, or nullptr.
const SerialDevice* DeviceForPort(const std::vector<SerialDevice>& devices, int port);

// The listing's section: a headline, then per device its path with the COM
// numbers it maps to and the description indented below it.
std::string SerialDeviceListing(const std::vector<SerialDevice>& devices);

}  // namespace ebd::app
