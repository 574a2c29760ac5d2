// The Torvik as a configfs USB gadget: one configuration with one HID
// function, bound to a USB device controller (UDC).
//
// The kernel numbers a gadget's strings in the order it attaches them:
// manufacturer, product and serial number take 1 to 3, the configuration's
// string the next, 4. That is the index the updater reads the bootloader's
// marker from, so the marker is the configuration's string.
#pragma once

#include <string>
#include <vector>

struct GadgetIdentity {
    unsigned vendor_id;
    unsigned product_id;
    unsigned device_version;  // bcdDevice
    std::string string4;      // the configuration's string
};

// What has been made, so that taking it down removes exactly that, also
// after a failure half way through.
struct GadgetTree {
    std::string root;               // /sys/kernel/config/usb_gadget/<name>
    std::vector<std::string> made;  // directories and links, in the order made
    bool bound = false;             // a UDC is written into root/UDC
};

// Why the gadget could not be set up, as one line for the user; empty when
// it was.
using SetupError = std::string;

// Root, configfs mounted, the kernel's gadget support loaded.
SetupError checkconfigfs();

// The UDC to bind: `wanted`, or the only one there is.
SetupError chooseudc(const std::string& wanted, std::string& udc);

// Makes the gadget with the Torvik's descriptors and binds it to `udc`.
SetupError makegadget(const GadgetIdentity& identity, const std::string& udc, GadgetTree& tree);

// The HID function's character device, /dev/hidgN.
SetupError hidgpath(const GadgetTree& tree, std::string& path);

// Unbinds the UDC: to the host the device is unplugged.
void unbind(GadgetTree& tree);

// Unbinds and removes whatever `tree` says was made, last made first.
void takedown(GadgetTree& tree);
