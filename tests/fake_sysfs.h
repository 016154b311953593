// A machine's serial devices as files in a temporary directory: sys/class/tty
// with links into sys/devices, the USB devices' attributes, device nodes in
// dev (plain files) and the /dev/serial/by-id links, laid out as the kernel
// and udev lay them out.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ebd::test {

class FakeSysfs {
public:
    struct Usb {
        std::string port = "1-2";  // the USB device's name in sysfs
        std::string vendorId = "0403";
        std::string productId = "6001";
        std::string manufacturer = "FTDI";
        std::string product = "FT232R USB UART";
        std::string serial = "A50285BI";
        std::string byId;  // name below /dev/serial/by-id; empty for none
    };

    FakeSysfs() {
        static int counter = 0;
        root_ = std::filesystem::temp_directory_path() /
                ("fake_sysfs_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "sys/class/tty");
        std::filesystem::create_directories(root_ / "dev");
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;
    ~FakeSysfs() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string root() const { return root_.string(); }

    // A USB serial adapter (ttyUSB, below a usb-serial port device) or a USB
    // modem (ttyACM, directly below the interface). An empty attribute is
    // left out, as the kernel leaves out strings a device does not report.
    void addUsb(const std::string& tty, const Usb& usb) {
        const std::string usbDir = "sys/devices/pci0000:00/0000:00:14.0/usb1/" + usb.port;
        const std::string interface = usbDir + "/" + usb.port + ":1.0";
        attribute(usbDir, "idVendor", usb.vendorId);
        attribute(usbDir, "idProduct", usb.productId);
        attribute(usbDir, "manufacturer", usb.manufacturer);
        attribute(usbDir, "product", usb.product);
        attribute(usbDir, "serial", usb.serial);
        attribute(interface, "bInterfaceNumber", "00");
        if (tty.rfind("ttyUSB", 0) == 0) {
            addTty(tty, interface + "/" + tty, "../../../" + tty);
        } else {
            addTty(tty, interface, "../../../" + usb.port + ":1.0");
        }
        if (!usb.byId.empty()) {
            std::filesystem::create_directories(root_ / "dev/serial/by-id");
            std::filesystem::create_symlink("../../" + tty, root_ / "dev/serial/by-id" / usb.byId);
        }
        node(tty);
    }

    // A ttyS port of the serial core; type 0 means no UART behind it.
    void addUart(const std::string& tty, const std::string& parent, const std::string& type) {
        const std::string parentDir = "sys/devices/" + parent;
        addTty(tty, parentDir, "../../../" + std::filesystem::path(parent).filename().string());
        if (!type.empty()) attribute(parentDir + "/tty/" + tty, "type", type);
        node(tty);
    }

    // A class entry with no device behind it (consoles, virtual terminals).
    void addVirtual(const std::string& tty) {
        std::filesystem::create_directories(root_ / "sys/devices/virtual/tty" / tty);
        std::filesystem::create_symlink("../../devices/virtual/tty/" + tty, root_ / "sys/class/tty" / tty);
        node(tty);
    }

    void removeNode(const std::string& tty) { std::filesystem::remove(root_ / "dev" / tty); }

    void attribute(const std::string& dir, const std::string& name, const std::string& value) {
        if (value.empty()) return;
        std::filesystem::create_directories(root_ / dir);
        std::ofstream(root_ / dir / name) << value << '\n';
    }

private:
    // The class device below `parentDir`, the class link to it, and its
    // `device` link (relative to the class device) back to its parent.
    void addTty(const std::string& tty, const std::string& parentDir, const std::string& deviceLink) {
        const std::filesystem::path classDevice = root_ / parentDir / "tty" / tty;
        std::filesystem::create_directories(classDevice);
        std::filesystem::create_directories(root_ / parentDir);
        std::filesystem::create_symlink(deviceLink, classDevice / "device");
        std::filesystem::create_symlink("../../" + parentDir.substr(4) + "/tty/" + tty,
                                        root_ / "sys/class/tty" / tty);
    }

    void node(const std::string& tty) { std::ofstream(root_ / "dev" / tty).flush(); }

    std::filesystem::path root_;
};

}  // namespace ebd::test
