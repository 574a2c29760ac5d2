// The Linux backend reading what a malicious USB device chooses: the sysfs
// files the kernel fills from its descriptors and strings, and the answers
// to the string requests made through usbfs.
//
// The input: index, buffer size (bytes), then fields (a length byte and that
// many bytes): uevent, descriptors, bConfigurationValue, bcdDevice, busnum,
// devnum, manufacturer, product, serial, configuration, interface, and the
// answers to string 0 and string `index` (empty: a failed transfer). A run
// rewrites the files of a tree laid out once (sysfs_tree.cpp), opens the
// node, and asks for the attributes and the indexed string into a buffer of
// exactly that size, past which AddressSanitizer sees any byte written.
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "field_input.h"
#include "torvik-sim/hidraw_seams.h"
#include "platform/platform.h"
#include "torvik-sim/sysfs_tree.h"

namespace {

// After the HID device's uevent, in the USB device's directory.
constexpr const char* FILES[] = {"descriptors",   "bConfigurationValue", "bcdDevice", "busnum",
                                 "devnum",        "manufacturer",        "product",   "serial",
                                 "configuration", "1-1:1.0/interface"};

SysfsTree* tree;  // left for the process's end: libFuzzer may exit anywhere
std::string usb_dir, node;
std::string answers[2];  // to string 0, then to string `index`
std::size_t answered;

void overwrite(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    require(static_cast<bool>(file << text << std::flush));
}

// The device's answer to a control transfer, as usbfs hands it over: at
// most the transfer's length.
int answer(int, usbdevfs_ctrltransfer* transfer) {
    if (answered == std::size(answers) || answers[answered].empty()) {
        ++answered;
        errno = EPIPE;
        return -1;
    }
    const std::string& bytes = answers[answered++];
    const std::size_t length = std::min<std::size_t>(bytes.size(), transfer->wLength);
    std::memcpy(transfer->data, bytes.data(), length);
    return static_cast<int>(length);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (access("/dev/shm", W_OK) == 0) {
        setenv("TMPDIR", "/dev/shm", 1);
    }
    tree = new SysfsTree;
    HidrawEntry entry;
    entry.vendor_id = 0x29A3;
    entry.product_id = 0x0006;
    tree->add(entry);
    usb_dir = tree->sysfs() + "/devices/pci0000:00/usb1/1-1/";
    node = tree->dev() + "/hidraw0";
    hidrawseams::setroots(tree->sysfs(), tree->dev());
    hidrawseams::open_node = [](const char*, int flags) { return open("/dev/null", flags); };
    hidrawseams::control = answer;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FieldInput input{data, size};
    const unsigned index = input.byte();
    const std::size_t buffer_size = input.byte();
    overwrite(usb_dir + "1-1:1.0/0003:29A3:0006.0001/uevent", input.field());
    for (const char* file : FILES) {
        overwrite(usb_dir + file, input.field());
    }
    for (std::string& bytes : answers) {
        bytes = input.field();
    }
    answered = 0;

    HANDLE device =
        CreateFileA(node.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    require(device != INVALID_HANDLE_VALUE);
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof attributes;
    HidD_GetAttributes(device, &attributes);
    const auto buffer = std::make_unique<std::uint8_t[]>(buffer_size);
    HidD_GetIndexedString(device, index, buffer.get(), static_cast<ULONG>(buffer_size));
    CloseHandle(device);
    return 0;
}
