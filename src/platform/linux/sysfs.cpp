#include "platform/linux/sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/linux/seams.h"

namespace linuxhid {

namespace {

constexpr char HIDRAW_PREFIX[] = "hidraw";
constexpr std::uint32_t BUS_USB_ID = 0x0003;  // BUS_USB in <linux/input.h>

// Offsets in USB's standard device, configuration and interface descriptors.
constexpr std::size_t DEVICE_DESCRIPTOR_SIZE = 18;
constexpr std::size_t DEVICE_MANUFACTURER_INDEX = 14;
constexpr std::size_t DEVICE_PRODUCT_INDEX = 15;
constexpr std::size_t DEVICE_SERIAL_INDEX = 16;
constexpr std::size_t CONFIG_VALUE = 5;
constexpr std::size_t CONFIG_STRING_INDEX = 6;
constexpr std::size_t INTERFACE_NUMBER = 2;
constexpr std::size_t INTERFACE_STRING_INDEX = 8;

constexpr int CONTROL_TIMEOUT_MS = 1000;
constexpr std::uint16_t ENGLISH_US = 0x0409;
constexpr std::size_t STRING_DESCRIPTOR_MAX = 255;

std::optional<std::string> readtext(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        return std::nullopt;
    }
    return text;
}

// A sysfs attribute: its text without the newline the kernel ends it with.
std::optional<std::string> readattribute(const std::string& path) {
    auto text = readtext(path);
    if (text && !text->empty() && text->back() == '\n') {
        text->pop_back();
    }
    return text;
}

std::optional<unsigned long> readnumber(const std::string& path, int base) {
    auto text = readattribute(path);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text->c_str(), &end, base);
    return *end == '\0' ? std::optional<unsigned long>(value) : std::nullopt;
}

std::string entrypath(const std::string& name) {
    return std::string(sysfsroot()) + "/class/hidraw/" + name;
}

std::string parentof(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

std::string lastcomponent(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The HID device's directory: the entry's `device` link, resolved.
std::optional<std::string> hiddevicedir(const std::string& name) {
    char resolved[PATH_MAX];
    if (realpath((entrypath(name) + "/device").c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    return std::string(resolved);
}

// A USB HID device sits in the directory of its USB interface, which sits in
// that of its USB device.
std::optional<std::string> usbdevicedir(const std::string& name) {
    auto identity = hididentity(name);
    auto hid_dir = hiddevicedir(name);
    if (!identity || identity->bus != BUS_USB_ID || !hid_dir) {
        return std::nullopt;
    }
    return parentof(parentof(*hid_dir));
}

// Which text file of the USB device's sysfs directory holds string `index`,
// from the device's raw descriptors: the device's own strings, the active
// configuration's and those of its interfaces.
std::optional<std::string> stringfile(const std::string& usb_dir, unsigned index) {
    const auto raw = readtext(usb_dir + "/descriptors");
    if (!raw || raw->size() < DEVICE_DESCRIPTOR_SIZE || index == 0) {
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw->data());
    if (bytes[DEVICE_MANUFACTURER_INDEX] == index) {
        return usb_dir + "/manufacturer";
    }
    if (bytes[DEVICE_PRODUCT_INDEX] == index) {
        return usb_dir + "/product";
    }
    if (bytes[DEVICE_SERIAL_INDEX] == index) {
        return usb_dir + "/serial";
    }
    const auto active = readnumber(usb_dir + "/bConfigurationValue", 10);
    unsigned config = 0;
    for (std::size_t at = DEVICE_DESCRIPTOR_SIZE; at + 2 <= raw->size();) {
        const std::size_t length = bytes[at];
        if (length < 2 || at + length > raw->size()) {
            break;
        }
        const std::uint8_t type = bytes[at + 1];
        const bool in_active = !active || config == *active;
        if (type == USB_DT_CONFIG && length > CONFIG_STRING_INDEX) {
            config = bytes[at + CONFIG_VALUE];
            if ((!active || config == *active) && bytes[at + CONFIG_STRING_INDEX] == index) {
                return usb_dir + "/configuration";
            }
        } else if (type == USB_DT_INTERFACE && length > INTERFACE_STRING_INDEX && in_active &&
                   bytes[at + INTERFACE_STRING_INDEX] == index) {
            return usb_dir + "/" + lastcomponent(usb_dir) + ":" + std::to_string(config) + "." +
                   std::to_string(bytes[at + INTERFACE_NUMBER]) + "/interface";
        }
        at += length;
    }
    return std::nullopt;
}

// sysfs shows the strings as the kernel converted them: UTF-8.
std::u16string utf16(const std::string& text) {
    std::u16string units;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const int extra = lead < 0x80    ? 0
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC0 ? 1
                                         : -1;
        char32_t point = extra < 0 ? 0xFFFD : lead & (0x7F >> (extra + (extra > 0)));
        ++at;
        for (int i = 0; i < extra && at < text.size(); ++i, ++at) {
            point = (point << 6) | (static_cast<unsigned char>(text[at]) & 0x3F);
        }
        if (point >= 0x10000) {
            point -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(point));
        }
    }
    return units;
}

// GET_DESCRIPTOR(STRING) on the default control pipe; the descriptor's
// bytes, or an empty vector when the transfer fails.
std::vector<std::uint8_t> getstringdescriptor(int node, unsigned index, std::uint16_t language) {
    std::uint8_t data[STRING_DESCRIPTOR_MAX] = {};
    usbdevfs_ctrltransfer transfer = {};
    transfer.bRequestType = USB_DIR_IN | USB_TYPE_STANDARD | USB_RECIP_DEVICE;
    transfer.bRequest = USB_REQ_GET_DESCRIPTOR;
    transfer.wValue = static_cast<std::uint16_t>((USB_DT_STRING << 8) | index);
    transfer.wIndex = language;
    transfer.wLength = sizeof data;
    transfer.timeout = CONTROL_TIMEOUT_MS;
    transfer.data = data;
    const int received = usbcontrol(node, &transfer);
    if (received < 2 || data[1] != USB_DT_STRING) {
        return {};
    }
    const std::size_t length = std::min<std::size_t>(received, data[0]);
    return std::vector<std::uint8_t>(data, data + std::max<std::size_t>(length, 2));
}

// Asks the device itself, in the first language it lists in string 0.
std::optional<std::u16string> stringfromdevice(const std::string& usb_dir, unsigned index) {
    const auto bus_number = readnumber(usb_dir + "/busnum", 10);
    const auto device_number = readnumber(usb_dir + "/devnum", 10);
    if (!bus_number || !device_number) {
        return std::nullopt;
    }
    char path[PATH_MAX];
    std::snprintf(path, sizeof path, "%s/bus/usb/%03lu/%03lu", devroot(), *bus_number,
                  *device_number);
    const int node = opennode(path, O_RDWR | O_CLOEXEC);
    if (node < 0) {
        return std::nullopt;
    }
    const auto languages = getstringdescriptor(node, 0, 0);
    const std::uint16_t language =
        languages.size() >= 4 ? static_cast<std::uint16_t>(languages[2] | (languages[3] << 8))
                              : ENGLISH_US;
    const auto descriptor = getstringdescriptor(node, index, language);
    close(node);
    if (descriptor.empty()) {
        return std::nullopt;
    }
    std::u16string text;
    for (std::size_t at = 2; at + 1 < descriptor.size(); at += 2) {
        text.push_back(static_cast<char16_t>(descriptor[at] | (descriptor[at + 1] << 8)));
    }
    return text;
}

}  // namespace

std::vector<std::string> hidrawnames() {
    std::vector<std::pair<unsigned long, std::string>> numbered;
    const std::string directory = std::string(sysfsroot()) + "/class/hidraw";
    if (DIR* listing = opendir(directory.c_str())) {
        const std::size_t prefix = std::strlen(HIDRAW_PREFIX);
        while (const dirent* entry = readdir(listing)) {
            const std::string name = entry->d_name;
            char* end = nullptr;
            if (name.compare(0, prefix, HIDRAW_PREFIX) == 0 && name.size() > prefix) {
                const unsigned long number = std::strtoul(name.c_str() + prefix, &end, 10);
                if (*end == '\0') {
                    numbered.emplace_back(number, name);
                }
            }
        }
        closedir(listing);
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<std::string> names;
    for (auto& [number, name] : numbered) {
        names.push_back(std::move(name));
    }
    return names;
}

std::string nodepath(const std::string& name) {
    return std::string(devroot()) + "/" + name;
}

std::string entryname(const std::string& node_path) {
    return lastcomponent(node_path);
}

std::optional<HidIdentity> hididentity(const std::string& name) {
    const auto uevent = readtext(entrypath(name) + "/device/uevent");
    if (!uevent) {
        return std::nullopt;
    }
    const std::string key = "HID_ID=";
    for (std::size_t start = 0; start < uevent->size();) {
        std::size_t end = uevent->find('\n', start);
        if (end == std::string::npos) {
            end = uevent->size();
        }
        const std::string line = uevent->substr(start, end - start);
        std::uint32_t bus = 0, vendor = 0, product = 0;
        if (line.compare(0, key.size(), key) == 0 &&
            std::sscanf(line.c_str() + key.size(), "%" SCNx32 ":%" SCNx32 ":%" SCNx32, &bus,
                        &vendor, &product) == 3) {
            return HidIdentity{bus, static_cast<std::uint16_t>(vendor),
                               static_cast<std::uint16_t>(product)};
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::uint16_t> versionnumber(const std::string& name) {
    const auto identity = hididentity(name);
    if (!identity) {
        return std::nullopt;
    }
    if (identity->bus != BUS_USB_ID) {
        return 0;
    }
    const auto usb_dir = usbdevicedir(name);
    const auto version = usb_dir ? readnumber(*usb_dir + "/bcdDevice", 16) : std::nullopt;
    if (!version) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(*version);
}

std::optional<std::u16string> usbstring(const std::string& name, unsigned index) {
    const auto usb_dir = usbdevicedir(name);
    if (!usb_dir) {
        return std::nullopt;
    }
    if (const auto file = stringfile(*usb_dir, index)) {
        if (const auto text = readattribute(*file)) {
            return utf16(*text);
        }
    }
    return stringfromdevice(*usb_dir, index);
}

}  // namespace linuxhid
