// What sysfs and usbfs tell about the hidraw interfaces: their names in
// order, their IDs, and their USB device's version and strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace linuxhid {

// The entries of /sys/class/hidraw ("hidraw0", "hidraw1", ...) in numeric
// order, so that hidraw2 comes before hidraw10.
std::vector<std::string> hidrawnames();

// /dev/hidrawN for an entry.
std::string nodepath(const std::string& name);
// The entry of a node path (its last component).
std::string entryname(const std::string& node_path);

struct HidIdentity {
    std::uint32_t bus;
    std::uint16_t vendor_id;
    std::uint16_t product_id;
};
// From the HID device's uevent (HID_ID=bus:vendor:product); nullopt when it
// cannot be read or has no such line.
std::optional<HidIdentity> hididentity(const std::string& name);

// bcdDevice of the USB device an interface belongs to, 0 for a HID device on
// another bus; nullopt when a file that should be there cannot be read.
std::optional<std::uint16_t> versionnumber(const std::string& name);

// String descriptor `index` of the interface's USB device: from the strings
// sysfs shows as text where its descriptors say which one has that index,
// otherwise from the device itself through usbfs. nullopt when neither works.
std::optional<std::u16string> usbstring(const std::string& name, unsigned index);

}  // namespace linuxhid
