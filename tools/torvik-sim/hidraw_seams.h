// The Linux backend's seams for tests and torvik-sim: where sysfs and /dev
// are, and how device nodes are opened and asked for control transfers, all
// set by the program that links this object instead of the real seams.
#pragma once

#include <functional>
#include <string>

struct usbdevfs_ctrltransfer;

namespace hidrawseams {

void setroots(std::string sysfs, std::string dev);
// Defaults: open(2) and ioctl(USBDEVFS_CONTROL).
extern std::function<int(const char* path, int flags)> open_node;
extern std::function<int(int descriptor, usbdevfs_ctrltransfer* transfer)> control;

}  // namespace hidrawseams
