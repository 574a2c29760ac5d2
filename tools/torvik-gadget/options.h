// torvik-gadget's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/bootloader_core.h"

struct GadgetOptions {
    bool bootloader = true;  // false: the normal firmware, without the marker
    devicecore::Faults faults{};
    // After taking `stall_after` reports the device reads nothing for
    // `stall_ms` (a stall_after of -1: never).
    long stall_after = -1;
    devicecore::Millis stall_ms = 0;
    std::string udc;  // empty: the only one in /sys/class/udc
    std::string save_dir;
    bool help = false;
};

extern const char GADGET_USAGE[];

// The options of a command line (without the program name); nullopt with
// `error` set when it cannot be understood.
std::optional<GadgetOptions> parsegadgetoptions(const std::vector<std::string>& args,
                                                std::string& error);
