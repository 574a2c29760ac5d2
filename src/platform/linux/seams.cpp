#include "platform/linux/seams.h"

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

namespace linuxhid {

const char* sysfsroot() {
    return "/sys";
}

const char* devroot() {
    return "/dev";
}

int opennode(const char* path, int flags) {
    return open(path, flags);
}

int usbcontrol(int descriptor, usbdevfs_ctrltransfer* transfer) {
    return ioctl(descriptor, USBDEVFS_CONTROL, transfer);
}

}  // namespace linuxhid
