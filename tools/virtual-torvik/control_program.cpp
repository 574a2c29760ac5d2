// virtual-torvik-control: the test side of the virtual Torvik, through its
// control device, beside the program under test (torvikupdate.exe), which
// reaches the device only through the system's HID stack.
//
//   virtual-torvik-control --reset [--device=bootloader|normal] [FAULT...]
//                          [--check-refusals]
//       start the device over, running that firmware, with those faults;
//       then, for tests of the driver, send it resets that no option makes
//       and check that it refuses each
//   virtual-torvik-control --report [--save=DIR]
//       print what the device counted since, and save what it stored
//
// The report is one line on standard output:
//   writes=<reports the device took> reads=<reports it delivered>
//   strings=<indexed strings it was asked for> restarted=<yes|no>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control.h"
#include "common/core_fault_options.h"
#include "common/stored_images.h"

namespace {

constexpr int EXIT_USAGE = 64;
constexpr int EXIT_NO_CONTROL = 69;    // the driver is not running
constexpr int EXIT_CANNOT_WRITE = 74;  // --save could not write the images
constexpr int EXIT_NOT_REFUSED = 70;   // --check-refusals: the driver took a reset it must refuse

const char USAGE[] =
    "usage: virtual-torvik-control --reset [--device=bootloader|normal] [FAULT]... "
    "[--check-refusals]\n"
    "       virtual-torvik-control --report [--save=DIR]\n"
    "Starts the virtual Torvik over, running its bootloader (default) or its normal firmware,\n"
    "with these faults; or prints what it counted since and saves what it stored.\n"
    "\n"
    "  --no-ack=BLOCK[:N]                the first N sendings of BLOCK get no acknowledgement\n"
    "  --wrong-ack=BLOCK[:N]             ... are acknowledged as block BLOCK-1\n"
    "  --late-ack=BLOCK:MS[:N]           the first N sendings of BLOCK (default 1) are\n"
    "                                    acknowledged MS ms after their last chunk\n"
    "  --ack-delay=MS                    acknowledgements come MS ms after the last chunk\n"
    "  --hold-write=BLOCK:CHUNK:MS[:N]   the first N writes of that chunk are held MS ms\n"
    "                                    (at most 30000) before the device takes them\n"
    "  --unplug-after=BLOCK              the device is gone once BLOCK is acknowledged\n"
    "  --check-refusals                  then send resets no option makes: each must be refused\n"
    "  --save=DIR                        write the stored images to DIR/fpga.bin, DIR/mcu.bin\n"
    "  --help                            show this text\n"
    "BLOCK and CHUNK are decimal or 0x-hex; N is a count or 'all' (the default, but for\n"
    "--late-ack and --hold-write, where it is 1). Times are real.\n";

enum class Mode { NONE, RESET, REPORT };

struct Options {
    virtualtorvik::Reset reset{};
    std::string save_dir;
    Mode mode = Mode::NONE;
    bool check_refusals = false;
};

constexpr unsigned long MAX_CHUNK = devicecore::CHUNKS - 1;

bool parseoption(const std::string& name, const std::string& value, Options& options) {
    devicecore::Faults& faults = options.reset.faults;
    const auto fault = optionvalues::parsecorefault(name, value, faults);
    if (fault != optionvalues::FaultOption::NOT_ONE) {
        return fault == optionvalues::FaultOption::TAKEN;
    }
    std::vector<unsigned long> numbers;
    int count = 0;
    if (name == "--hold-write") {
        return optionvalues::parsefields(
                   value, {optionvalues::MAX_BLOCK, MAX_CHUNK, virtualtorvik::HOLD_LIMIT_MS}, 1,
                   numbers, count) &&
               faults.held_writes.add({static_cast<std::uint16_t>(numbers[0]),
                                       static_cast<std::uint8_t>(numbers[1]), count,
                                       static_cast<devicecore::Millis>(numbers[2])});
    }
    if (name == "--device" && (value == "bootloader" || value == "normal")) {
        options.reset.firmware = value == "normal" ? virtualtorvik::Firmware::NORMAL
                                                   : virtualtorvik::Firmware::BOOTLOADER;
        return true;
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
        if (i == 1 && (arg == "--reset" || arg == "--report")) {
            options.mode = arg == "--reset" ? Mode::RESET : Mode::REPORT;
            continue;
        }
        if (arg == "--help") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        }
        if (arg == "--check-refusals" && options.mode == Mode::RESET) {
            options.check_refusals = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        // The device and its faults set up a run; saving belongs to its report.
        const Mode belongs_to = name == "--save" ? Mode::REPORT : Mode::RESET;
        if (equals == std::string::npos || belongs_to != options.mode ||
            !parseoption(name, arg.substr(equals + 1), options)) {
            std::fprintf(stderr, "virtual-torvik-control: unknown or misplaced option '%s'\n%s",
                         argv[i], USAGE);
            return false;
        }
    }
    if (options.mode == Mode::NONE) {
        std::fputs(USAGE, stderr);
        return false;
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

// --- The report. ---

int report(const Options& options) {
    virtualtorvik::Status status = {};
    if (!controlrequest(virtualtorvik::IOCTL_VIRTUAL_TORVIK_STATUS, nullptr, 0, &status,
                        sizeof status)) {
        std::fputs("virtual-torvik-control: the virtual Torvik's driver gave no status\n", stderr);
        return EXIT_NO_CONTROL;
    }
    if (!options.save_dir.empty() && !saveimages(options.save_dir)) {
        std::fprintf(stderr, "virtual-torvik-control: cannot write the stored images to %s\n",
                     options.save_dir.c_str());
        return EXIT_CANNOT_WRITE;
    }
    std::printf("writes=%lu reads=%lu strings=%lu restarted=%s\n",
                static_cast<unsigned long>(status.reports_taken),
                static_cast<unsigned long>(status.reports_delivered),
                static_cast<unsigned long>(status.strings_read), status.restarted ? "yes" : "no");
    return 0;
}

// --- Resets the driver must refuse. ---

struct Refusal {
    const char* what;
    void (*spoil)(virtualtorvik::Reset& reset);
    DWORD length;
};

constexpr DWORD RESET_BYTES = sizeof(virtualtorvik::Reset);
const Refusal REFUSALS[] = {
    {"a list's used past its room",
     [](virtualtorvik::Reset& r) { r.faults.held_writes.used = 16 * devicecore::FAULT_ENTRIES; },
     RESET_BYTES},
    {"an acknowledgement delay that overflows",
     [](virtualtorvik::Reset& r) { r.faults.ack_delay_ms = INT64_MAX; }, RESET_BYTES},
    {"an unplug byte 7", [](virtualtorvik::Reset& r) { std::memset(&r.faults.unplug, 7, 1); },
     RESET_BYTES},
    {"firmware 9", [](virtualtorvik::Reset& r) { r.firmware = virtualtorvik::Firmware{9}; },
     RESET_BYTES},
    {"a short reset", [](virtualtorvik::Reset&) {}, RESET_BYTES - 1},
};

// Each refused with ERROR_INVALID_PARAMETER, the device left as it was.
bool checkrefusals(const virtualtorvik::Reset& reset) {
    for (const Refusal& refusal : REFUSALS) {
        auto spoiled = std::make_unique<virtualtorvik::Reset>(reset);
        refusal.spoil(*spoiled);
        DWORD returned = 0;
        const bool taken =
            DeviceIoControl(control, virtualtorvik::IOCTL_VIRTUAL_TORVIK_RESET, spoiled.get(),
                            refusal.length, nullptr, 0, &returned, nullptr);
        const DWORD error = taken ? ERROR_SUCCESS : GetLastError();
        if (error != ERROR_INVALID_PARAMETER) {
            std::fprintf(stderr,
                         "virtual-torvik-control: the driver answered a reset with %s with "
                         "error %lu, not ERROR_INVALID_PARAMETER\n",
                         refusal.what, static_cast<unsigned long>(error));
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseoptions(argc, argv, options)) {
        return EXIT_USAGE;
    }
    control = CreateFileA(virtualtorvik::CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE) {
        std::fputs("virtual-torvik-control: the virtual Torvik's driver is not running\n", stderr);
        return EXIT_NO_CONTROL;
    }
    if (options.mode == Mode::REPORT) {
        return report(options);
    }
    if (!controlrequest(virtualtorvik::IOCTL_VIRTUAL_TORVIK_RESET, &options.reset,
                        sizeof options.reset, nullptr, 0)) {
        std::fputs("virtual-torvik-control: the virtual Torvik's driver refused the reset\n",
                   stderr);
        return EXIT_NO_CONTROL;
    }
    return options.check_refusals && !checkrefusals(options.reset) ? EXIT_NOT_REFUSED : 0;
}
