#include "hidraw_seams.h"

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include "platform/linux/seams.h"

namespace hidrawseams {

namespace {
std::string sysfs_root = "/sys";
std::string dev_root = "/dev";
}  // namespace

void setroots(std::string sysfs, std::string dev) {
    sysfs_root = std::move(sysfs);
    dev_root = std::move(dev);
}

std::function<int(const char*, int)> open_node = [](const char* path, int flags) {
    return open(path, flags);
};
std::function<int(int, usbdevfs_ctrltransfer*)> control = [](int descriptor,
                                                             usbdevfs_ctrltransfer* transfer) {
    return ioctl(descriptor, USBDEVFS_CONTROL, transfer);
};

}  // namespace hidrawseams

namespace linuxhid {

const char* sysfsroot() {
    return hidrawseams::sysfs_root.c_str();
}

const char* devroot() {
    return hidrawseams::dev_root.c_str();
}

int opennode(const char* path, int flags) {
    return hidrawseams::open_node(path, flags);
}

int usbcontrol(int descriptor, usbdevfs_ctrltransfer* transfer) {
    return hidrawseams::control(descriptor, transfer);
}

}  // namespace linuxhid
