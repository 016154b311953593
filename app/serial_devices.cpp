#include "app/serial_devices.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

#include "app/cli_options.h"
#include "platform/platform.h"

namespace ebd::app {

namespace {

namespace fs = std::filesystem;

// The kinds of device listed, in the order they are listed: USB adapters
// first, since that is where a module on a desk usually sits.
constexpr std::array<std::string_view, 3> kKinds{"ttyUSB", "ttyACM", "ttyS"};
// sysfs attributes are short; a longer one is cut here.
constexpr size_t kMaxAttribute = 256;
// From a tty's device up to the USB device that carries it is two or three
// steps; the bound only keeps a strange tree from being walked to its root.
constexpr int kMaxStepsToUsbDevice = 16;

struct Name {
    size_t kind = 0;
    unsigned long number = 0;
};

// "ttyUSB12" -> kind 0, number 12; nothing for names that are none of ours.
std::optional<Name> ParseName(std::string_view name) {
    for (size_t kind = 0; kind < kKinds.size(); ++kind) {
        if (name.substr(0, kKinds[kind].size()) != kKinds[kind]) continue;
        const std::string_view digits = name.substr(kKinds[kind].size());
        if (digits.empty() || digits.size() > 6 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            return std::nullopt;
        return Name{kind, std::stoul(std::string(digits))};
    }
    return std::nullopt;
}

// The first line of a sysfs attribute, without the line end. Device-supplied
// strings reach the terminal: control characters become '?'.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    if (!in) return {};
    std::string text(kMaxAttribute, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) c = '?';
    }
    return text;
}

fs::path Canonical(const fs::path& path) {
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    return error ? fs::path() : resolved;
}

// A device path as the system names it ("/dev/ttyUSB0"), below `root`.
fs::path Below(const fs::path& root, const std::string& path) {
    const fs::path given(path);
    return given.is_absolute() ? root / given.relative_path() : given;
}

// Whether the kernel has the tty and, for ttyS, a UART behind it: the serial
// core creates ttyS0 to ttyS<n> whether or not a port exists, and reports
// type 0 (unknown) for those without one.
bool HasHardware(const fs::path& ttyDir, const Name& name) {
    std::error_code error;
    if (!fs::exists(ttyDir / "device", error)) return false;
    if (kKinds[name.kind] != "ttyS") return true;
    const std::string type = ReadAttribute(ttyDir / "type");
    return !type.empty() && type.find_first_not_of("0123456789") == std::string::npos &&
           type.find_first_not_of('0') != std::string::npos;
}

// Walks from the tty's device up to the USB device, the first directory with
// an idVendor, and reads its ids and strings.
void ReadUsbDetails(const fs::path& root, const fs::path& ttyDir, SerialDevice& device) {
    fs::path at = Canonical(ttyDir / "device");
    const fs::path top = Canonical(root / "sys");
    if (at.empty() || top.empty()) return;
    std::error_code error;
    for (int step = 0; step < kMaxStepsToUsbDevice && at != top && at.has_relative_path(); ++step) {
        if (fs::exists(at / "idVendor", error)) {
            device.vendorId = ReadAttribute(at / "idVendor");
            device.productId = ReadAttribute(at / "idProduct");
            device.manufacturer = ReadAttribute(at / "manufacturer");
            device.product = ReadAttribute(at / "product");
            device.serialNumber = ReadAttribute(at / "serial");
            return;
        }
        at = at.parent_path();
    }
}

// The /dev/serial/by-id name that leads to the device; the first in name
// order when several do.
std::string FindById(const fs::path& root, const fs::path& node) {
    const fs::path byId = root / "dev/serial/by-id";
    std::error_code error;
    std::vector<std::string> names;
    for (fs::directory_iterator it(byId, error), end; !error && it != end; it.increment(error)) {
        if (Canonical(it->path()) == node) names.push_back(it->path().filename().string());
    }
    if (names.empty()) return {};
    return "/dev/serial/by-id/" + *std::min_element(names.begin(), names.end());
}

}  // namespace

std::vector<SerialDevice> FindSerialDevices(const std::string& rootText) {
    const fs::path root(rootText.empty() ? "/" : rootText);

    struct Found {
        Name name;
        SerialDevice device;
        fs::path node;
    };
    std::vector<Found> found;
    std::error_code error;
    for (fs::directory_iterator it(root / "sys/class/tty", error), end; !error && it != end;
         it.increment(error)) {
        const std::string ttyName = it->path().filename().string();
        const std::optional<Name> name = ParseName(ttyName);
        if (!name || !HasHardware(it->path(), *name)) continue;
        const fs::path node = Canonical(root / "dev" / ttyName);
        if (node.empty()) continue;
        SerialDevice device;
        device.device = "/dev/" + ttyName;
        device.byId = FindById(root, node);
        ReadUsbDetails(root, it->path(), device);
        found.push_back({*name, std::move(device), node});
    }

    // COM<n> maps to a device when its path, links followed, is that device.
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const std::string path = platform::devicePathFor(("COM" + std::to_string(port)).c_str());
        if (path.empty()) continue;
        const fs::path target = Canonical(Below(root, path));
        if (target.empty()) continue;
        for (Found& entry : found) {
            if (entry.node == target) entry.device.comPorts.push_back(port);
        }
    }

    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.name.kind != b.name.kind ? a.name.kind < b.name.kind : a.name.number < b.name.number;
    });
    std::vector<SerialDevice> devices;
    devices.reserve(found.size());
    for (Found& entry : found) devices.push_back(std::move(entry.device));
    return devices;
}

std::vector<std::string> DescribeSerialDevice(const SerialDevice& device) {
    std::vector<std::string> lines;
    if (!device.byId.empty()) lines.push_back("by-id: " + device.byId);
    if (!device.vendorId.empty() || !device.productId.empty())
        lines.push_back("USB id: " + device.vendorId + ":" + device.productId);
    if (!device.manufacturer.empty()) lines.push_back("manufacturer: " + device.manufacturer);
    if (!device.product.empty()) lines.push_back("product: " + device.product);
    if (!device.serialNumber.empty()) lines.push_back("serial number: " + device.serialNumber);
    return lines;
}

const SerialDevice* DeviceForPort(const std::vector<SerialDevice>& devices, int port) {
    for (const SerialDevice& device : devices) {
        if (std::find(device.comPorts.begin(), device.comPorts.end(), port) != device.comPorts.end())
            return &device;
    }
    return nullptr;
}

std::string SerialDeviceListing(const std::vector<SerialDevice>& devices) {
    if (devices.empty()) return "Serial devices: none found\n";
    std::string text = "Serial devices:\n";
    for (const SerialDevice& device : devices) {
        text += device.device + "  ";
        if (device.comPorts.empty()) {
            text += "no COM port";
        } else {
            for (size_t i = 0; i < device.comPorts.size(); ++i)
                text += (i == 0 ? "COM" : ", COM") + std::to_string(device.comPorts[i]);
        }
        text += "\n";
        for (const std::string& line : DescribeSerialDevice(device)) text += "    " + line + "\n";
    }
    return text;
}

}  // namespace ebd::app
