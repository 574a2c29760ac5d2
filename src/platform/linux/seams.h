// The Linux backend's only ties to the machine it runs on: where sysfs and
// /dev are, and how a device node is opened and asked for a USB control
// transfer. The shipped program links seams.cpp (the real /sys, /dev, open
// and ioctl); test builds link a seam object of their own instead, so that
// no environment variable or argument can point the shipped program elsewhere.
#pragma once

struct usbdevfs_ctrltransfer;

namespace linuxhid {

const char* sysfsroot();
const char* devroot();
// open(2)'s contract: a descriptor, or -1 with errno set.
int opennode(const char* path, int flags);
// ioctl(USBDEVFS_CONTROL)'s contract: bytes transferred, or -1 with errno set.
int usbcontrol(int descriptor, usbdevfs_ctrltransfer* transfer);

}  // namespace linuxhid
