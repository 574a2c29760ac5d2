// Which Torviks are connected: the window's look before it starts the
// updater, with the updater's own discovery code (src/hid/discovery).
#pragma once

#include <cstdint>
#include <string>

struct FoundDevice {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t version = 0;
    std::string path;
};

struct TorvikSurvey {
    int in_bootloader = 0;
    int in_normal_firmware = 0;
    FoundDevice first_in_bootloader;  // what the log names as the device found
};

// Opens each HID interface in turn and counts those with these IDs, by
// whether they carry the bootloader marker. Every handle is closed again.
TorvikSurvey surveytorviks(int vendor_id, int product_id);
