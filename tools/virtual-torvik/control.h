// The virtual Torvik's control interface: what a test program and the
// driver agree on.
//
// The control device is a device object of its own beside the HID device,
// so that tests can set faults and look at what the device stored without
// going through the HID stack they are testing.
#pragma once

#include "platform/sim/bootloader_core.h"

namespace virtualtorvik {

// The control device's name in the kernel, and its link for CreateFile.
constexpr wchar_t DEVICE_NAME[] = L"\\Device\\VirtualTorvikControl";
constexpr wchar_t LINK_NAME[] = L"\\??\\VirtualTorvikControl";
constexpr char CONTROL_PATH[] = "\\\\.\\VirtualTorvikControl";

// Codes from the range Windows leaves to vendors (device type and function
// 0x800 and up), buffered: the I/O manager copies both ways.
constexpr unsigned long CONTROL_DEVICE_TYPE = 0x8000;
constexpr unsigned long controlcode(unsigned long function) {
    return (CONTROL_DEVICE_TYPE << 16) | (function << 2);  // METHOD_BUFFERED, FILE_ANY_ACCESS
}
// What the device runs: its bootloader, or its normal firmware, which shows
// in string 4 (without the bootloader's marker).
enum class Firmware : uint8_t { BOOTLOADER, NORMAL };

struct Reset {
    devicecore::Faults faults;
    Firmware firmware;
};

// Input: Reset, or none for the bootloader without faults. The device starts
// over as if just switched on, running that firmware, with those faults:
// nothing stored, counts zero, no report queued. A Reset that the control
// program cannot make (see acceptreset) fails with STATUS_INVALID_PARAMETER
// and leaves the device as it was.
constexpr unsigned long IOCTL_VIRTUAL_TORVIK_RESET = controlcode(0x800);

// Takes a reset request's input into `reset`: none (length 0) for the
// bootloader without faults, else exactly a Reset. The input is the
// caller's, so it is copied first and the copy checked: faults within what
// the fault options set, one of the two firmwares. False, for a request to
// refuse, when it is anything else: nothing is mended, as a mended reset
// would run a device the caller did not ask for.
inline bool acceptreset(const void* input, size_t length, Reset& reset) {
    if (length != 0 && (length != sizeof(Reset) || input == nullptr)) {
        return false;
    }
    // Byte by byte: a Reset from outside may hold a bool that is neither
    // true nor false, which only its bytes may be read as.
    const auto* from = static_cast<const unsigned char*>(input);
    auto* to = reinterpret_cast<unsigned char*>(&reset);
    for (size_t i = 0; i < sizeof(Reset); ++i) {
        to[i] = length == 0 ? 0 : from[i];
    }
    return devicecore::faultsvalid(reset.faults) &&
           (reset.firmware == Firmware::BOOTLOADER || reset.firmware == Firmware::NORMAL);
}
// Output: Status.
constexpr unsigned long IOCTL_VIRTUAL_TORVIK_STATUS = controlcode(0x801);
// Input: the block number as uint16_t. Output: the block's BLOCK_BYTES as
// stored; fails with STATUS_NOT_FOUND when it was never stored.
constexpr unsigned long IOCTL_VIRTUAL_TORVIK_READ_BLOCK = controlcode(0x802);

struct Status {
    uint32_t reports_taken;      // writes the device took
    uint32_t reports_delivered;  // input reports handed to the HID stack
    uint32_t strings_read;       // indexed strings (string 4) read by the HID stack
    uint32_t blocks_stored;
    uint32_t bad_frames;
    uint32_t out_of_order;
    uint8_t restarted;
    uint8_t unplugged;
};

// A held write ends by itself (the device takes the report) after at most
// this long: under Wine nothing can cancel a write that a minidriver holds,
// so a write held for ever would hang the program that made it.
constexpr devicecore::Millis HOLD_LIMIT_MS = 30000;

}  // namespace virtualtorvik
