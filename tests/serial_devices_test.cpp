// The serial devices of a machine, found in a fake sysfs and /dev tree: which
// are listed, what is told about each, which COM numbers map to them, and the
// listing autostart-off prints.
#include "app/serial_devices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/port_diagnosis.h"
#include "fake_sysfs.h"

namespace ebd::test {
namespace {

using app::SerialDevice;

const std::string kFtdiById = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

class SerialDevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int port = 1; port <= 32; ++port) unsetenv(("EBD_COM" + std::to_string(port)).c_str());
    }
    void TearDown() override { SetUp(); }

    // An FTDI adapter, a modem and a real UART, with the furniture around them.
    void addDesk() {
        FakeSysfs::Usb ftdi;
        ftdi.byId = kFtdiById;
        fake.addUsb("ttyUSB0", ftdi);
        FakeSysfs::Usb modem{
            "1-3", "1e2d", "0058", "Cellular", "Radio Module", "", "usb-Cellular_Radio_Module-if00"};
        fake.addUsb("ttyACM0", modem);
        fake.addUart("ttyS0", "pnp0/00:05", "4");
    }

    FakeSysfs fake;
};

TEST_F(SerialDevicesTest, AdaptersModemsAndUartsAreFoundWithWhatSysfsTellsOfThem) {
    addDesk();
    FakeSysfs::Usb second{"1-4", "067b", "2303", "Prolific Technology Inc.", "USB-Serial Controller", "", ""};
    fake.addUsb("ttyUSB10", second);
    FakeSysfs::Usb third{"1-5", "10c4", "ea60", "", "", "0001", ""};
    fake.addUsb("ttyUSB2", third);

    const std::vector<SerialDevice> devices = app::FindSerialDevices(fake.root());
    ASSERT_EQ(devices.size(), 5u);
    // USB adapters by number (2 before 10), then modems, then UARTs.
    EXPECT_EQ(devices[0].device, "/dev/ttyUSB0");
    EXPECT_EQ(devices[1].device, "/dev/ttyUSB2");
    EXPECT_EQ(devices[2].device, "/dev/ttyUSB10");
    EXPECT_EQ(devices[3].device, "/dev/ttyACM0");
    EXPECT_EQ(devices[4].device, "/dev/ttyS0");

    const SerialDevice& ftdi = devices[0];
    EXPECT_EQ(ftdi.byId, "/dev/serial/by-id/" + kFtdiById);
    EXPECT_EQ(ftdi.vendorId, "0403");
    EXPECT_EQ(ftdi.productId, "6001");
    EXPECT_EQ(ftdi.manufacturer, "FTDI");
    EXPECT_EQ(ftdi.product, "FT232R USB UART");
    EXPECT_EQ(ftdi.serialNumber, "A50285BI");

    // Strings the device does not report stay empty; so does a missing by-id link.
    EXPECT_EQ(devices[1].vendorId, "10c4");
    EXPECT_EQ(devices[1].manufacturer, "");
    EXPECT_EQ(devices[1].serialNumber, "0001");
    EXPECT_EQ(devices[2].byId, "");
    EXPECT_EQ(devices[2].serialNumber, "");

    const SerialDevice& modem = devices[3];
    EXPECT_EQ(modem.byId, "/dev/serial/by-id/usb-Cellular_Radio_Module-if00");
    EXPECT_EQ(modem.vendorId + ":" + modem.productId, "1e2d:0058");
    EXPECT_EQ(modem.product, "Radio Module");

    const SerialDevice& uart = devices[4];
    EXPECT_EQ(uart.byId, "");
    EXPECT_EQ(uart.vendorId, "");
    EXPECT_EQ(uart.manufacturer, "");
}

TEST_F(SerialDevicesTest, PortsWithoutHardwareAndOtherTerminalsAreLeftOut) {
    addDesk();
    fake.addUart("ttyS1", "platform/serial8250", "0");   // no UART behind it
    fake.addUart("ttyS2", "platform/serial8250.1", "");  // no type reported
    fake.addUart("ttyS3", "platform/serial8250.2", "x");
    fake.addVirtual("tty1");
    fake.addVirtual("console");
    fake.addVirtual("ttyUSBx");
    FakeSysfs::Usb unplugged{"1-6", "0403", "6015", "FTDI", "FT230X", "D1", ""};
    fake.addUsb("ttyUSB1", unplugged);
    fake.removeNode("ttyUSB1");  // the kernel has not removed it yet, udev has

    std::vector<std::string> names;
    for (const SerialDevice& device : app::FindSerialDevices(fake.root())) names.push_back(device.device);
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0"}));

    // A tree without sysfs, or no tree at all, has no devices.
    EXPECT_TRUE(app::FindSerialDevices(fake.root() + "/dev").empty());
    EXPECT_TRUE(app::FindSerialDevices(fake.root() + "/nonexistent").empty());
}

TEST_F(SerialDevicesTest, ComNumbersFollowTheEnvironmentItsLinksAndTheDefault) {
    addDesk();
    // A by-id name, a plain device named twice, and names that lead nowhere.
    setenv("EBD_COM5", ("/dev/serial/by-id/" + kFtdiById).c_str(), 1);
    setenv("EBD_COM2", "/dev/ttyACM0", 1);
    setenv("EBD_COM32", "/dev/ttyACM0", 1);
    setenv("EBD_COM3", "/dev/serial/by-id/usb-gone-if00", 1);
    setenv("EBD_COM4", "/dev/ttyUSB9", 1);

    const std::vector<SerialDevice> devices = app::FindSerialDevices(fake.root());
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].comPorts, (std::vector<int>{5}));
    EXPECT_EQ(devices[1].comPorts, (std::vector<int>{2, 32}));
    // COM1 is /dev/ttyS0 when nothing else is said.
    EXPECT_EQ(devices[2].comPorts, (std::vector<int>{1}));

    EXPECT_EQ(app::DeviceForPort(devices, 5), &devices[0]);
    EXPECT_EQ(app::DeviceForPort(devices, 32), &devices[1]);
    EXPECT_EQ(app::DeviceForPort(devices, 3), nullptr);
    EXPECT_EQ(app::DeviceForPort(devices, 4), nullptr);

    // Another device for COM1: the UART is left without one.
    setenv("EBD_COM1", "/dev/ttyUSB0", 1);
    const std::vector<SerialDevice> again = app::FindSerialDevices(fake.root());
    EXPECT_EQ(again[0].comPorts, (std::vector<int>{1, 5}));
    EXPECT_TRUE(again[2].comPorts.empty());
}

TEST_F(SerialDevicesTest, WhatADeviceReportsReachesTheTerminalCleanedAndBounded) {
    FakeSysfs::Usb rogue{"1-7", "dead", "beef", "Evil\x1b[2J Corp", std::string(1000, 'P'), "S\tN", ""};
    fake.addUsb("ttyUSB0", rogue);
    const std::vector<SerialDevice> devices = app::FindSerialDevices(fake.root());
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].manufacturer, "Evil?[2J Corp");
    EXPECT_EQ(devices[0].product, std::string(256, 'P'));
    EXPECT_EQ(devices[0].serialNumber, "S?N");
}

TEST_F(SerialDevicesTest, TheListingNamesEachDeviceItsComNumbersAndItsDescription) {
    addDesk();
    setenv("EBD_COM5", ("/dev/serial/by-id/" + kFtdiById).c_str(), 1);
    setenv("EBD_COM7", "/dev/ttyUSB0", 1);
    setenv("EBD_COM1", "/dev/ttyUSB4", 1);

    const std::vector<SerialDevice> devices = app::FindSerialDevices(fake.root());
    EXPECT_EQ(app::DescribeSerialDevice(devices[0]),
              (std::vector<std::string>{"by-id: /dev/serial/by-id/" + kFtdiById, "USB id: 0403:6001",
                                        "manufacturer: FTDI", "product: FT232R USB UART",
                                        "serial number: A50285BI"}));
    EXPECT_TRUE(app::DescribeSerialDevice(devices[2]).empty());

    EXPECT_EQ(app::SerialDeviceListing(devices),
              "Serial devices:\n"
              "/dev/ttyUSB0  COM5, COM7\n"
              "    by-id: /dev/serial/by-id/" +
                  kFtdiById +
                  "\n"
                  "    USB id: 0403:6001\n"
                  "    manufacturer: FTDI\n"
                  "    product: FT232R USB UART\n"
                  "    serial number: A50285BI\n"
                  "/dev/ttyACM0  no COM port\n"
                  "    by-id: /dev/serial/by-id/usb-Cellular_Radio_Module-if00\n"
                  "    USB id: 1e2d:0058\n"
                  "    manufacturer: Cellular\n"
                  "    product: Radio Module\n"
                  "/dev/ttyS0  no COM port\n");
    EXPECT_EQ(app::SerialDeviceListing({}), "Serial devices: none found\n");

    // autostart-off --list-ports: the 32 COM names, a blank line, this section.
    const std::string listing = app::ListPorts(fake.root());
    const size_t section = listing.find("\nSerial devices:\n");
    ASSERT_NE(section, std::string::npos) << listing;
    EXPECT_EQ(std::count(listing.begin(), listing.begin() + static_cast<long>(section), '\n'), 32);
    EXPECT_EQ(listing.substr(section + 1), app::SerialDeviceListing(devices));
}

}  // namespace
}  // namespace ebd::test
