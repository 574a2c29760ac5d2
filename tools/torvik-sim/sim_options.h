// torvik-sim's command line and the simulated bus it sets up from it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/torvik.h"

enum class SimDevice { BOOTLOADER, NORMAL, NONE };

// A report on the wire, by block number and chunk index: where --pause-at
// stops the run.
struct WirePoint {
    std::uint16_t block;
    std::uint8_t chunk;
};

struct SimOptions {
    SimDevice device = SimDevice::BOOTLOADER;
    sim::Faults faults;
    std::optional<std::string> save_dir;
    std::optional<std::string> trace_file;
    std::optional<WirePoint> pause_at;
    bool hidraw = false;  // through the Linux backend and FUSE-served hidraw nodes
    bool help = false;
};

extern const char SIM_USAGE[];

// The options of a command line (without the program name); nullopt with
// `error` set when it cannot be understood.
std::optional<SimOptions> parsesimoptions(const std::vector<std::string>& args, std::string& error);

// Lays out the bus: a keyboard and a mouse, and the Torvik as the options
// say. Returns the bootloader when there is one.
std::shared_ptr<sim::Bootloader> setupbus(sim::Bus& bus, const SimOptions& options, int vendor_id);
