// torvik-sim: runs the updater, exactly as torvikupdate's main does, against
// a simulated Torvik on a simulated HID bus with a virtual clock, or with
// --hidraw through the Linux backend against FUSE-served hidraw nodes.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/sim/bus.h"
#include "sim_hidraw.h"
#include "sim_options.h"
#include "torvik_config.h"
#include "torvikupdate.h"

namespace {

constexpr int EXIT_USAGE = 64;
constexpr int EXIT_CANNOT_WRITE = 74;  // an output file cannot be written
constexpr int EXIT_UNAVAILABLE = 69;   // the hidraw nodes cannot be served

// The run ends through exit() on failure, so what is reported afterwards is
// reported from an exit handler; it needs these to outlive main.
SimOptions run_options;
std::shared_ptr<sim::Bootloader> bootloader;
std::ofstream trace;
// Set once torvikupdate() has returned: it closes the device handle first,
// whereas a failed run ends in exit() with the handle still open.
bool update_returned = false;

void writehex(std::ostream& out, const sim::Report& report) {
    static const char digits[] = "0123456789abcdef";
    for (std::uint8_t byte : report) {
        out << digits[byte >> 4] << digits[byte & 0xF];
    }
}

bool saveimage(const std::filesystem::path& path, const std::vector<std::uint8_t>& image) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(file);
}

bool savestoredimages(const std::filesystem::path& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    return saveimage(dir / "fpga.bin", bootloader->fpgaimage()) &&
           saveimage(dir / "mcu.bin", bootloader->mcuimage());
}

// Saves what was asked for and writes the summary line; false when the
// stored images could not be saved.
bool finish(sim::Millis elapsed, int writes, int reads) {
    trace.close();
    bool saved = true;
    if (run_options.save_dir && bootloader) {
        saved = savestoredimages(*run_options.save_dir);
        if (!saved) {
            std::cerr << "torvik-sim: cannot write the stored images to " << *run_options.save_dir
                      << "\n";
        }
    }
    std::cerr << "elapsed=" << elapsed << " writes=" << writes << " reads=" << reads
              << " restarted=" << (bootloader && bootloader->restarted() ? "yes" : "no")
              << std::endl;
    return saved;
}

void report() {
    const sim::Bus& bus = sim::bus();
    for (const std::string& violation : bus.violations()) {
        std::cerr << "torvik-sim: platform rule broken: " << violation << "\n";
    }
    if (update_returned) {
        for (const std::string& path : bus.openpaths()) {
            std::cerr
                << "torvik-sim: platform rule broken: device handle still open after the run: "
                << path << "\n";
        }
    }
    if (bus.pendingoperations() != 0) {
        std::cerr << "torvik-sim: platform rule broken: " << bus.pendingoperations()
                  << " operation(s) still pending at the end\n";
    }
    const sim::Accounting& done = bus.accounting();
    if (!finish(bus.now(), done.writes, done.reads)) {
        // This runs as the process ends, where exit() may not be called again.
        std::_Exit(EXIT_CANNOT_WRITE);
    }
}

// A chunk report after its report ID: the marker "F*", the block number
// (little-endian), the chunk index.
bool ischunkat(const sim::Report& report, WirePoint point) {
    constexpr std::size_t MARKER = 1, BLOCK_NUMBER = 3, CHUNK_INDEX = 5;
    return report[MARKER] == 'F' && report[MARKER + 1] == '*' &&
           (report[BLOCK_NUMBER] | report[BLOCK_NUMBER + 1] << 8) == point.block &&
           report[CHUNK_INDEX] == point.chunk;
}

// Whether the device has just taken the report --pause-at names. Only the
// first time: a block sent again does not stop the run again.
bool pausedue(char direction, const sim::Report& report) {
    static bool paused = false;
    if (paused || !run_options.pause_at || direction != '>' ||
        !ischunkat(report, *run_options.pause_at)) {
        return false;
    }
    paused = true;
    return true;
}

void onwire(char direction, const sim::Report& report) {
    if (run_options.trace_file) {
        trace << direction << ' ';
        writehex(trace, report);
        trace << '\n';
    }
    // A test reads the updater's output while the process stands still here,
    // to see what it shows before the run goes on.
    if (pausedue(direction, report)) {
        std::raise(SIGSTOP);
    }
}

int runhidraw() {
    HidrawNodes::WireHook on_wire;
    if (run_options.trace_file || run_options.pause_at) {
        on_wire = onwire;
    }
    HidrawRun run = runthroughhidraw(run_options, TORVIK_VENDOR_ID, on_wire);
    if (!run.error.empty()) {
        std::cerr << "torvik-sim: " << run.error << "\n";
        return EXIT_UNAVAILABLE;
    }
    bootloader = run.bootloader;
    return finish(run.elapsed, run.writes, run.reads) ? run.status : EXIT_CANNOT_WRITE;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto options = parsesimoptions({argv + 1, argv + argc}, error);
    if (!options) {
        std::cerr << "torvik-sim: " << error << "\n" << SIM_USAGE;
        return EXIT_USAGE;
    }
    if (options->help) {
        std::cout << SIM_USAGE;
        return 0;
    }
    run_options = *options;
    if (run_options.trace_file) {
        trace.open(*run_options.trace_file);
        if (!trace) {
            std::cerr << "torvik-sim: cannot write " << *run_options.trace_file << "\n";
            return EXIT_USAGE;
        }
    }
    if (run_options.trace_file || run_options.pause_at) {
        sim::bus().on_wire = onwire;
    }
    if (run_options.hidraw) {
        return runhidraw();
    }
    bootloader = setupbus(sim::bus(), run_options, TORVIK_VENDOR_ID);
    std::atexit(report);
    const int status = torvikupdate();
    update_returned = true;
    return status;
}
