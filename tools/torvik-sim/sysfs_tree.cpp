#include "sysfs_tree.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr unsigned USB_BUS = 1;

void writefile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// A device, a configuration and one HID interface descriptor, as the USB
// device's `descriptors` file holds them.
std::string descriptors(const HidrawEntry& entry) {
    auto index = [&](const std::optional<std::string>& text, StringSlot slot) {
        return static_cast<char>(text ? entry.string_indices[slot] : 0);
    };
    std::string device = {18, 1, 0x00, 0x02, 0, 0, 0, 64};
    for (std::uint16_t word : {entry.vendor_id, entry.product_id, entry.version}) {
        device += static_cast<char>(word & 0xFF);
        device += static_cast<char>(word >> 8);
    }
    device += index(entry.manufacturer, MANUFACTURER_STRING);
    device += index(entry.product, PRODUCT_STRING);
    device += index(entry.serial, SERIAL_STRING);
    device += '\x01';
    const char config_string = index(entry.configuration, CONFIGURATION_STRING);
    const std::string config = {9, 2, 18, 0, 1, 1, config_string, static_cast<char>(0x80), 50};
    const auto number = static_cast<char>(entry.interface_number);
    const auto alternate = static_cast<char>(entry.alternate_setting);
    const std::string interface = {
        9, 4, number, alternate, 2, 3, 0, 0, index(entry.interface_string, INTERFACE_STRING)};
    return device + config + interface;
}

}  // namespace

SysfsTree::SysfsTree() {
    std::string pattern = (fs::temp_directory_path() / "torvik-sysfs-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    root_ = name.data();
    fs::create_directories(sysfs() + "/class/hidraw");
    fs::create_directories(dev());
}

SysfsTree::~SysfsTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string SysfsTree::usbnode(const HidrawEntry& entry) const {
    char path[32];
    std::snprintf(path, sizeof path, "/bus/usb/%03u/%03u", USB_BUS, entry.number + 2);
    return dev() + path;
}

void SysfsTree::add(const HidrawEntry& entry, bool node) {
    const std::string usb_name = "1-" + std::to_string(entry.number + 1);
    const fs::path usb_dir = fs::path(sysfs()) / "devices/pci0000:00/usb1" / usb_name;
    const fs::path interface_dir =
        usb_dir / (usb_name + ":1." + std::to_string(entry.interface_number));
    const fs::path hid_dir =
        interface_dir / (hex4(entry.bus) + ":" + hex4(entry.vendor_id) + ":" +
                         hex4(entry.product_id) + "." + hex4(entry.number + 1));
    const std::string name = "hidraw" + std::to_string(entry.number);
    const fs::path raw_dir = hid_dir / "hidraw" / name;
    fs::create_directories(raw_dir);
    fs::create_directory_symlink("../..", raw_dir / "device");

    char id[64];
    std::snprintf(id, sizeof id, "HID_ID=%04X:%08X:%08X\n", entry.bus, entry.vendor_id,
                  entry.product_id);
    if (entry.uevent_readable) {
        writefile(hid_dir / "uevent", std::string("DRIVER=hid-generic\n") + id);
    } else {
        fs::create_symlink("no-such-file", hid_dir / "uevent");
    }
    writefile(usb_dir / "descriptors", descriptors(entry));
    writefile(usb_dir / "bcdDevice", hex4(entry.version) + "\n");
    writefile(usb_dir / "busnum", std::to_string(USB_BUS) + "\n");
    writefile(usb_dir / "devnum", std::to_string(entry.number + 2) + "\n");
    writefile(usb_dir / "bConfigurationValue", "1\n");
    char interface_number[8];
    std::snprintf(interface_number, sizeof interface_number, "%02x\n", entry.interface_number);
    writefile(interface_dir / "bInterfaceNumber", interface_number);
    const std::pair<const char*, const std::optional<std::string>&> strings[] = {
        {"manufacturer", entry.manufacturer},
        {"product", entry.product},
        {"serial", entry.serial},
        {"configuration", entry.configuration},
    };
    for (const auto& [file, text] : strings) {
        if (text) {
            writefile(usb_dir / file, *text + "\n");
        }
    }
    if (entry.interface_string) {
        writefile(interface_dir / "interface", *entry.interface_string + "\n");
    }
    fs::create_directory_symlink(fs::relative(raw_dir, fs::path(sysfs()) / "class/hidraw"),
                                 fs::path(sysfs()) / "class/hidraw" / name);
    if (node) {
        writefile(fs::path(dev()) / name, "");
    }
}
