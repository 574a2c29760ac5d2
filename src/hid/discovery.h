// Finding the updater among the system's HID interfaces.
#pragma once

#include "platform/platform.h"

// Opens the first HID interface at or after `position` that can be opened and
// leaves `position` at it. Returns INVALID_HANDLE_VALUE when the interfaces
// run out first, or when an interface's device path cannot be read (which
// ends the whole search).
HANDLE connectToIthUSBHIDDevice(int& position);

// The same, and also copies the opened interface's device path into `path`
// (`path_size` bytes, cut short if need be, always ending with a zero). For
// "Update Torvik.exe", which names the device it found in its log.
HANDLE connectToIthUSBHIDDevice(int& position, char* path, DWORD path_size);

// Whether the device's string descriptor 4 carries the bootloader marker
// "FW": a Torvik in bootloader mode, rather than in its normal firmware.
bool hasbootloadermarker(HANDLE device);

// Returns the first interface, in enumeration order, with these IDs (a
// version of 0 accepts any) whose string descriptor 4 carries the bootloader
// marker "FW", still open and owned by the caller; INVALID_HANDLE_VALUE if
// there is none. Every other handle opened on the way is closed.
HANDLE connectToUSBHIDDevice(int vendor_id, int product_id, int version);
