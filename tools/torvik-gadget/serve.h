// The device's side of the wire on /dev/hidgN, served by the shared device
// core.
//
// The HID function passes reports without a report ID: a read gives the 63
// bytes the host sent, a 63-byte write is one input report. A write returns
// once the report is queued, and poll() says POLLOUT again once the
// controller has it: that is when the core hears it was delivered. It is not
// proof that the host has read it (dummy_hcd completes an IN report at once
// into a one-report FIFO), so an unplug waits for the host's next report.
#pragma once

#include <signal.h>

#include <cstdint>
#include <map>
#include <vector>

#include "device/bootloader_core.h"

struct ServeSettings {
    bool bootloader;  // false: reports are read and dropped, none is answered
    devicecore::Faults faults;
    long stall_after;  // -1: never
    devicecore::Millis stall_ms;
};

struct ServeCounts {
    long taken = 0;
    long delivered = 0;
    devicecore::Millis first_ms = -1;  // when the first report was taken
    devicecore::Millis last_ms = 0;    // the last report taken or delivered
    bool restarted = false;
};

using StoredBlocks = std::map<std::uint16_t, std::vector<std::uint8_t>>;

// The core's view of `stored`.
devicecore::BlockStorage blockstorage(StoredBlocks& stored);

// Serves the device on `hidg` until a signal that `waiting_mask` lets
// through arrives. `unplug` is called when the host sends its next report
// after the core has said the device is gone; after that nothing is read or
// written.
ServeCounts serve(int hidg, const ServeSettings& settings, const sigset_t& waiting_mask,
                  void (*unplug)(), StoredBlocks& stored);
