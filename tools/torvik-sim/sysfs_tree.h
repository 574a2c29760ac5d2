// A temporary directory laid out like the parts of sysfs and /dev that the
// Linux backend reads: /sys/class/hidraw entries linked to their HID device,
// USB interface and USB device directories, as the kernel lays them out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The strings a USB HID device can name in its descriptors.
enum StringSlot : std::size_t {
    MANUFACTURER_STRING,
    PRODUCT_STRING,
    SERIAL_STRING,
    CONFIGURATION_STRING,
    INTERFACE_STRING,
    STRING_SLOTS
};

struct HidrawEntry {
    unsigned number = 0;  // hidrawN
    std::uint32_t bus = 0x0003;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t version = 0;
    // The strings as sysfs shows them, nullopt for one the device does not
    // have: the USB device's, its configuration's and the HID interface's.
    std::optional<std::string> manufacturer = "Maker";
    std::optional<std::string> product = "Product";
    std::optional<std::string> serial;
    std::optional<std::string> configuration;
    std::optional<std::string> interface_string;
    // Their indices in the descriptors, by StringSlot.
    std::array<std::uint8_t, STRING_SLOTS> string_indices = {1, 2, 3, 5, 4};
    // The HID interface's number names its sysfs directory; its alternate
    // setting does not.
    std::uint8_t interface_number = 0;
    std::uint8_t alternate_setting = 0;
    bool uevent_readable = true;
};

class SysfsTree {
  public:
    // Makes a fresh directory under the system's temporary directory.
    SysfsTree();
    ~SysfsTree();
    SysfsTree(const SysfsTree&) = delete;
    SysfsTree& operator=(const SysfsTree&) = delete;

    // Adds the entry's sysfs directories; with `node` also a plain file as
    // its /dev node.
    void add(const HidrawEntry& entry, bool node = true);

    std::string root() const {
        return root_;
    }
    std::string sysfs() const {
        return root_ + "/sys";
    }
    std::string dev() const {
        return root_ + "/dev";
    }
    // The usbfs node of an entry's USB device.
    std::string usbnode(const HidrawEntry& entry) const;

  private:
    std::string root_;
};
