#include "configfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "device/bootloader_core.h"

namespace {

const std::string CONFIGFS = "/sys/kernel/config";
const std::string GADGETS = CONFIGFS + "/usb_gadget";
const std::string UDC_CLASS = "/sys/class/udc";
const std::string GADGET_NAME = "torvik";
const std::string ENGLISH = "strings/0x409";  // US English, the language hosts ask for
const std::string CONFIG = "configs/c.1";
const std::string FUNCTION = "functions/hid.usb0";
constexpr long CONFIGFS_MAGIC = 0x62656570;
// devtmpfs makes the node as the function is bound; udev may take a moment
// longer where it runs.
constexpr auto HIDG_WAIT = std::chrono::seconds(5);
constexpr auto HIDG_POLL = std::chrono::milliseconds(20);

std::string errortext() {
    return std::strerror(errno);
}

bool writeattribute(const std::string& path, const void* data, std::size_t size) {
    const int file = open(path.c_str(), O_WRONLY);
    if (file < 0) {
        return false;
    }
    const bool written = write(file, data, size) == static_cast<ssize_t>(size);
    const int error = errno;
    close(file);
    errno = error;
    return written;
}

bool writeattribute(const std::string& path, const std::string& text) {
    return writeattribute(path, text.data(), text.size());
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

SetupError makedirectory(GadgetTree& tree, const std::string& relative) {
    const std::string path = tree.root + "/" + relative;
    if (mkdir(path.c_str(), 0755) != 0) {
        return "cannot make " + path + ": " + errortext();
    }
    tree.made.push_back(path);
    return {};
}

struct Attribute {
    std::string relative;
    std::string text;
};

SetupError writeattributes(const GadgetTree& tree, const std::vector<Attribute>& attributes) {
    for (const Attribute& attribute : attributes) {
        const std::string path = tree.root + "/" + attribute.relative;
        if (!writeattribute(path, attribute.text)) {
            return "cannot write " + path + ": " + errortext();
        }
    }
    return {};
}

SetupError makefunction(GadgetTree& tree) {
    if (SetupError error = makedirectory(tree, FUNCTION); !error.empty()) {
        return error;
    }
    const std::string function = tree.root + "/" + FUNCTION;
    if (SetupError error = writeattributes(
            tree, {{FUNCTION + "/protocol", "0"},
                   {FUNCTION + "/subclass", "0"},
                   {FUNCTION + "/report_length", std::to_string(devicecore::REPORT_DATA_BYTES)}});
        !error.empty()) {
        return error;
    }
    if (!writeattribute(function + "/report_desc", devicecore::REPORT_DESCRIPTOR,
                        sizeof devicecore::REPORT_DESCRIPTOR)) {
        return "cannot write " + function + "/report_desc: " + errortext();
    }
    const std::string link = tree.root + "/" + CONFIG + "/hid.usb0";
    if (symlink(function.c_str(), link.c_str()) != 0) {
        return "cannot link " + link + ": " + errortext();
    }
    tree.made.push_back(link);
    return {};
}

SetupError bind(GadgetTree& tree, const std::string& udc) {
    if (!writeattribute(tree.root + "/UDC", udc)) {
        return errno == EBUSY ? "the USB device controller " + udc + " is in use by another gadget"
                              : "cannot bind the gadget to " + udc + ": " + errortext();
    }
    tree.bound = true;
    return {};
}

}  // namespace

SetupError checkconfigfs() {
    if (geteuid() != 0) {
        return "must run as root: it sets up a USB gadget in configfs";
    }
    struct statfs filesystem;
    if (statfs(CONFIGFS.c_str(), &filesystem) != 0 || filesystem.f_type != CONFIGFS_MAGIC) {
        return "configfs is not mounted on " + CONFIGFS + " (mount -t configfs none " + CONFIGFS +
               ")";
    }
    struct stat status;
    if (stat(GADGETS.c_str(), &status) != 0) {
        return "no " + GADGETS +
               ": the kernel's USB gadget support is not loaded (modprobe libcomposite)";
    }
    return {};
}

SetupError chooseudc(const std::string& wanted, std::string& udc) {
    std::vector<std::string> found;
    if (DIR* directory = opendir(UDC_CLASS.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            if (entry->d_name[0] != '.') {
                found.push_back(entry->d_name);
            }
        }
        closedir(directory);
    }
    if (!wanted.empty()) {
        udc = wanted;
        for (const std::string& name : found) {
            if (name == wanted) {
                return {};
            }
        }
        return "no USB device controller " + wanted + " in " + UDC_CLASS;
    }
    if (found.empty()) {
        return "no USB device controller in " + UDC_CLASS +
               " (peripheral mode not enabled, or its driver not loaded)";
    }
    if (found.size() > 1) {
        std::string names;
        for (const std::string& name : found) {
            names += " " + name;
        }
        return "several USB device controllers, choose one with --udc=NAME:" + names;
    }
    udc = found.front();
    return {};
}

SetupError makegadget(const GadgetIdentity& identity, const std::string& udc, GadgetTree& tree) {
    tree.root = GADGETS + "/" + GADGET_NAME;
    if (mkdir(tree.root.c_str(), 0755) != 0) {
        return errno == EEXIST ? "a gadget named " + GADGET_NAME + " is already in " + GADGETS +
                                     " (is another torvik-gadget running?)"
                               : "cannot make " + tree.root + ": " + errortext();
    }
    tree.made.push_back(tree.root);
    SetupError error;
    for (const std::string& directory : {ENGLISH, CONFIG, CONFIG + "/" + ENGLISH}) {
        if (error.empty()) {
            error = makedirectory(tree, directory);
        }
    }
    if (error.empty()) {
        error =
            writeattributes(tree, {{"idVendor", hex4(identity.vendor_id)},
                                   {"idProduct", hex4(identity.product_id)},
                                   {"bcdDevice", hex4(identity.device_version)},
                                   {"bcdUSB", "0x0200"},
                                   {ENGLISH + "/manufacturer", "Torvik"},
                                   {ENGLISH + "/product", "Torvik"},
                                   {ENGLISH + "/serialnumber", "0001"},
                                   {CONFIG + "/" + ENGLISH + "/configuration", identity.string4},
                                   {CONFIG + "/MaxPower", "100"}});
    }
    if (error.empty()) {
        error = makefunction(tree);
    }
    return error.empty() ? bind(tree, udc) : error;
}

SetupError hidgpath(const GadgetTree& tree, std::string& path) {
    std::ifstream file(tree.root + "/" + FUNCTION + "/dev");
    unsigned major_number = 0;
    unsigned minor_number = 0;
    char colon = 0;
    if (!(file >> major_number >> colon >> minor_number) || colon != ':') {
        return "cannot read the HID function's device number from " + tree.root + "/" + FUNCTION +
               "/dev";
    }
    path = "/dev/hidg" + std::to_string(minor_number);
    const auto deadline = std::chrono::steady_clock::now() + HIDG_WAIT;
    for (;;) {
        struct stat status;
        if (stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode) &&
            status.st_rdev == makedev(major_number, minor_number)) {
            return {};
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return path + " did not appear (is devtmpfs mounted on /dev?)";
        }
        std::this_thread::sleep_for(HIDG_POLL);
    }
}

void unbind(GadgetTree& tree) {
    if (tree.bound) {
        writeattribute(tree.root + "/UDC", "\n");
        tree.bound = false;
    }
}

void takedown(GadgetTree& tree) {
    unbind(tree);
    while (!tree.made.empty()) {
        const std::string& path = tree.made.back();
        // The function's link is a symbolic link; everything else a directory.
        if (rmdir(path.c_str()) != 0 && errno == ENOTDIR) {
            unlink(path.c_str());
        }
        tree.made.pop_back();
    }
}
