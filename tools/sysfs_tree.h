// A temporary directory laid out like the parts of sysfs and /dev that the
// Linux backend reads: /sys/class/hidraw entries linked to their HID device,
// USB interface and USB device directories, as the kernel lays them out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct HidrawEntry {
    unsigned number = 0;  // hidrawN
    std::uint32_t bus = 0x0003;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t version = 0;
    // The USB device's strings as sysfs shows them; index 1, 2 and 3 in its
    // descriptors, nullopt when it has none.
    std::optional<std::string> manufacturer = "Maker";
    std::optional<std::string> product = "Product";
    std::optional<std::string> serial;
    // The HID interface's own string, index 4 in the descriptors; nullopt
    // for an interface without one.
    std::optional<std::string> interface_string;
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
