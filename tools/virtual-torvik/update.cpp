// virtual-torvik-update: the updater's own Windows code run against the
// virtual Torvik through the system's real HID stack.
//
// It finds the device as the updater does, with discovery's walk over
// SetupAPI (connectToIthUSBHIDDevice) and HidD_GetAttributes, and then runs
// the updater's FPGA phase, MCU phase and restart. Only the marker read is
// left out: Wine's HID class driver refuses HidD_GetIndexedString, so under
// Wine torvikupdate.exe itself finds no Torvik (--marker shows what the
// read gives). Output and exit status are the updater's; a summary line
// goes to standard error:
//   elapsed=<real ms> writes=<reports the device took> reads=<reports it delivered>
//   restarted=<yes|no>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "control.h"
#include "core_fault_options.h"
#include "stored_images.h"
#include "hid/discovery.h"
#include "torvik_config.h"
#include "torvikupdate.h"

namespace {

constexpr int EXIT_USAGE = 64;
constexpr int EXIT_NO_CONTROL = 69;    // the driver is not running
constexpr int EXIT_CANNOT_WRITE = 74;  // --save could not write the images
constexpr std::uint16_t TORVIK_VERSION = 0x0100;

const char USAGE[] =
    "usage: virtual-torvik-update [OPTION]...\n"
    "Runs the updater's FPGA phase, MCU phase and restart against the virtual Torvik.\n"
    "\n"
    "  --no-ack=BLOCK[:N]                the first N sendings of BLOCK get no acknowledgement\n"
    "  --wrong-ack=BLOCK[:N]             ... are acknowledged as block BLOCK-1\n"
    "  --late-ack=BLOCK:MS[:N]           the first N sendings of BLOCK (default 1) are\n"
    "                                    acknowledged MS ms after their last chunk\n"
    "  --ack-delay=MS                    acknowledgements come MS ms after the last chunk\n"
    "  --hold-write=BLOCK:CHUNK:MS[:N]   the first N writes of that chunk are held MS ms\n"
    "                                    (at most 30000) before the device takes them\n"
    "  --unplug-after=BLOCK              the device is gone once BLOCK is acknowledged\n"
    "  --save=DIR                        write the stored images to DIR/fpga.bin, DIR/mcu.bin\n"
    "  --marker                          only read string 4 as the updater does, and say how\n"
    "                                    that went\n"
    "  --reset-only                      only start the device over with these faults, for a\n"
    "                                    run of another program (torvikupdate.exe on Windows)\n"
    "  --report-only                     only write the summary (writes, reads, restarted) and\n"
    "                                    save the images, of whatever ran since the last reset\n"
    "  --help                            show this text\n"
    "BLOCK and CHUNK are decimal or 0x-hex; N is a count or 'all' (the default, but for\n"
    "--late-ack and --hold-write, where it is 1). Times are real.\n";

enum class Mode { UPDATE, MARKER, RESET_ONLY, REPORT_ONLY };

struct Options {
    devicecore::Faults faults{};
    std::string save_dir;
    Mode mode = Mode::UPDATE;
};

constexpr unsigned long MAX_CHUNK = devicecore::CHUNKS - 1;

bool parseoption(const std::string& name, const std::string& value, Options& options) {
    const auto fault = optionvalues::parsecorefault(name, value, options.faults);
    if (fault != optionvalues::FaultOption::NOT_ONE) {
        return fault == optionvalues::FaultOption::TAKEN;
    }
    std::vector<unsigned long> numbers;
    int count = 0;
    if (name == "--hold-write") {
        return optionvalues::parsefields(
                   value, {optionvalues::MAX_BLOCK, MAX_CHUNK, virtualtorvik::HOLD_LIMIT_MS}, 1,
                   numbers, count) &&
               options.faults.held_writes.add({static_cast<std::uint16_t>(numbers[0]),
                                               static_cast<std::uint8_t>(numbers[1]), count,
                                               static_cast<devicecore::Millis>(numbers[2])});
    }
    if (name == "--save" && !value.empty()) {
        options.save_dir = value;
        return true;
    }
    return false;
}

bool parseoptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--marker" || arg == "--reset-only" || arg == "--report-only") {
            options.mode = arg == "--marker"       ? Mode::MARKER
                           : arg == "--reset-only" ? Mode::RESET_ONLY
                                                   : Mode::REPORT_ONLY;
            continue;
        }
        if (arg == "--help") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        }
        const std::size_t equals = arg.find('=');
        if (equals == std::string::npos ||
            !parseoption(arg.substr(0, equals), arg.substr(equals + 1), options)) {
            std::fprintf(stderr, "virtual-torvik-update: unknown or malformed option '%s'\n%s",
                         argv[i], USAGE);
            return false;
        }
    }
    return true;
}

// --- The control device. ---

HANDLE control = INVALID_HANDLE_VALUE;

bool controlrequest(DWORD code, const void* input, DWORD input_size, void* output,
                    DWORD output_size) {
    DWORD returned = 0;
    return DeviceIoControl(control, code, const_cast<void*>(input), input_size, output, output_size,
                           &returned, nullptr) &&
           returned == output_size;
}

// The device's stored blocks, read once each through the control device.
std::map<std::uint16_t, std::vector<std::uint8_t>> fetched_blocks;

const std::uint8_t* fetchblock(const void*, std::uint16_t block_number) {
    auto found = fetched_blocks.find(block_number);
    if (found == fetched_blocks.end()) {
        std::vector<std::uint8_t> block(devicecore::BLOCK_BYTES);
        if (!controlrequest(virtualtorvik::IOCTL_VIRTUAL_TORVIK_READ_BLOCK, &block_number,
                            sizeof block_number, block.data(), devicecore::BLOCK_BYTES)) {
            block.clear();
        }
        found = fetched_blocks.emplace(block_number, std::move(block)).first;
    }
    return found->second.empty() ? nullptr : found->second.data();
}

bool saveimages(const std::string& dir) {
    CreateDirectoryA(dir.c_str(), nullptr);
    return storedimages::save({nullptr, nullptr, fetchblock}, dir + "\\");
}

// --- The run. ---

Options run_options;
LARGE_INTEGER started;

long long elapsedms() {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - started.QuadPart) * 1000 / frequency.QuadPart;
}

// Runs as the process ends, also after the updater's exit on a failed block.
void report() {
    // Nothing was timed in a report-only run.
    const long long elapsed = started.QuadPart == 0 ? 0 : elapsedms();
    virtualtorvik::Status status = {};
    controlrequest(virtualtorvik::IOCTL_VIRTUAL_TORVIK_STATUS, nullptr, 0, &status, sizeof status);
    if (!run_options.save_dir.empty() && !saveimages(run_options.save_dir)) {
        std::fprintf(stderr, "virtual-torvik-update: cannot write the stored images to %s\n",
                     run_options.save_dir.c_str());
        std::fflush(stderr);
        std::_Exit(EXIT_CANNOT_WRITE);
    }
    std::fprintf(stderr, "elapsed=%lld writes=%lu reads=%lu restarted=%s\n", elapsed,
                 static_cast<unsigned long>(status.reports_taken),
                 static_cast<unsigned long>(status.reports_delivered),
                 status.restarted ? "yes" : "no");
    std::fflush(stderr);
}

// Discovery's walk and ID check, as connectToUSBHIDDevice does them, without
// the marker read.
HANDLE findvirtualtorvik() {
    for (int position = 0;; ++position) {
        HANDLE device = connectToIthUSBHIDDevice(position);
        if (device == INVALID_HANDLE_VALUE) {
            return INVALID_HANDLE_VALUE;
        }
        HIDD_ATTRIBUTES attributes = {};
        attributes.Size = sizeof(attributes);
        if (HidD_GetAttributes(device, &attributes) && attributes.VendorID == TORVIK_VENDOR_ID &&
            attributes.ProductID == TORVIK_PRODUCT_ID &&
            attributes.VersionNumber == TORVIK_VERSION) {
            return device;
        }
        CloseHandle(device);
    }
}

// What the updater's marker read gives on this HID stack.
int showmarker(HANDLE device) {
    unsigned char marker[8] = {};
    if (!HidD_GetIndexedString(device, 4, marker, sizeof marker)) {
        std::printf("marker: error %lu\n", GetLastError());
        return 1;
    }
    std::printf("marker: %c%c\n", marker[0], marker[2]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!parseoptions(argc, argv, run_options)) {
        return EXIT_USAGE;
    }
    control = CreateFileA(virtualtorvik::CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE) {
        std::fputs("virtual-torvik-update: the virtual Torvik's driver is not running\n", stderr);
        return EXIT_NO_CONTROL;
    }
    if (run_options.mode == Mode::REPORT_ONLY) {
        report();
        return 0;
    }
    if (!controlrequest(virtualtorvik::IOCTL_VIRTUAL_TORVIK_RESET, &run_options.faults,
                        sizeof run_options.faults, nullptr, 0)) {
        std::fputs("virtual-torvik-update: the virtual Torvik's driver refused the reset\n",
                   stderr);
        return EXIT_NO_CONTROL;
    }
    if (run_options.mode == Mode::RESET_ONLY) {
        return 0;
    }
    HANDLE device = findvirtualtorvik();
    if (device == INVALID_HANDLE_VALUE) {
        std::fputs("virtual-torvik-update: no virtual Torvik among the HID devices\n", stderr);
        return EXIT_NO_DEVICE;
    }
    if (run_options.mode == Mode::MARKER) {
        return showmarker(device);
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    QueryPerformanceCounter(&started);
    std::atexit(report);

    return updatetorvik(device);
}
