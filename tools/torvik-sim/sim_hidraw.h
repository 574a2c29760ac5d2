// torvik-sim --hidraw: the updater, linked with the Linux backend, run as a
// child process (torvik-hidraw-run) against a temporary sysfs tree and
// hidraw nodes that FUSE serves from the simulated devices.
#pragma once

#include <memory>
#include <string>

#include "hidraw_node.h"
#include "sim_options.h"

struct HidrawRun {
    int status = 0;           // the updater's exit status
    std::string error;        // why the run could not start; empty when it ran
    sim::Millis elapsed = 0;  // real time from start to exit
    int writes = 0;           // write requests that reached the nodes
    int reads = 0;            // read requests that reached the nodes
    std::shared_ptr<sim::Bootloader> bootloader;
};

HidrawRun runthroughhidraw(const SimOptions& options, int vendor_id,
                           const HidrawNodes::WireHook& on_wire);
