#include "sim_options.h"

#include "common/option_values.h"

#include <cstdio>
#include <cstdlib>

const char SIM_USAGE[] =
    "usage: torvik-sim [OPTION]...\n"
    "Runs torvikupdate against a simulated Torvik. Output and exit status are the updater's;\n"
    "a summary line goes to standard error.\n"
    "\n"
    "  --device=bootloader|normal|none   what is attached (default bootloader)\n"
    "  --no-ack=BLOCK[:N]                the first N sendings of BLOCK get no acknowledgement\n"
    "  --wrong-ack=BLOCK[:N]             ... are acknowledged as block BLOCK-1\n"
    "  --stall-write=BLOCK:CHUNK[:N]     the first N writes of that chunk never complete\n"
    "  --late-ack=BLOCK:MS[:N]           the first N sendings of BLOCK (default 1) are\n"
    "                                    acknowledged MS ms after their last chunk\n"
    "  --ack-delay=MS                    acknowledgements come MS ms after the last chunk\n"
    "  --write-ms=MS                     every write takes MS ms (default 0)\n"
    "  --unplug-after=BLOCK              the device is gone once BLOCK is acknowledged\n"
    "  --save=DIR                        write the stored images to DIR/fpga.bin, DIR/mcu.bin\n"
    "  --trace=FILE                      write every report that crossed the wire to FILE\n"
    "  --pause-at=BLOCK|restart          stop the process (SIGSTOP) when the device takes\n"
    "                                    the first chunk of BLOCK, or the restart report\n"
    "  --hidraw                          run through the Linux backend: a temporary sysfs\n"
    "                                    tree and hidraw nodes served by FUSE, in real time\n"
    "  --help                            show this text\n"
    "BLOCK is decimal or 0x-hex; N is a count or 'all' (the default, but for --late-ack).\n"
    "Times are virtual, but real milliseconds with --hidraw.\n";

namespace {

using optionvalues::MAX_BLOCK;
using optionvalues::MAX_MS;
using optionvalues::parsefields;
using optionvalues::parsenumber;
static_assert(optionvalues::ALL == sim::Faults::ALWAYS, "'all' means every time");

// A block travels in chunks 0 to 35.
constexpr unsigned long LAST_CHUNK = 35;
// The restart report, as the device reads it: a chunk marker with block
// number 'G' and chunk 0xFF.
constexpr WirePoint RESTART_REPORT = {'G', 0xFF};

bool parsepause(const std::string& text, std::optional<WirePoint>& pause_at) {
    unsigned long block = 0;
    if (text == "restart") {
        pause_at = RESTART_REPORT;
    } else if (parsenumber(text, MAX_BLOCK, block)) {
        pause_at = WirePoint{static_cast<std::uint16_t>(block), 0};
    } else {
        return false;
    }
    return true;
}

// BLOCK[:N] for the acknowledgement faults.
bool parseblockcount(const std::string& text, std::map<std::uint16_t, int>& faults) {
    std::vector<unsigned long> numbers;
    int count = 0;
    if (!parsefields(text, {MAX_BLOCK}, sim::Faults::ALWAYS, numbers, count)) {
        return false;
    }
    faults[static_cast<std::uint16_t>(numbers[0])] = count;
    return true;
}

bool parsemillis(const std::string& text, sim::Millis& millis) {
    unsigned long value = 0;
    if (!parsenumber(text, MAX_MS, value)) {
        return false;
    }
    millis = static_cast<sim::Millis>(value);
    return true;
}

// BLOCK:MS[:N], N 1 when left out.
bool parselate(const std::string& text, std::map<std::uint16_t, sim::Faults::Late>& faults) {
    std::vector<unsigned long> numbers;
    int count = 0;
    if (!parsefields(text, {MAX_BLOCK, MAX_MS}, 1, numbers, count)) {
        return false;
    }
    faults[static_cast<std::uint16_t>(numbers[0])] = {static_cast<sim::Millis>(numbers[1]), count};
    return true;
}

bool parsestall(const std::string& text, std::vector<sim::Faults::Stall>& stalls) {
    std::vector<unsigned long> numbers;
    int count = 0;
    if (!parsefields(text, {MAX_BLOCK, LAST_CHUNK}, sim::Faults::ALWAYS, numbers, count)) {
        return false;
    }
    stalls.push_back(
        {static_cast<std::uint16_t>(numbers[0]), static_cast<std::uint8_t>(numbers[1]), count});
    return true;
}

bool parseoption(const std::string& name, const std::string& value, SimOptions& options) {
    sim::Faults& faults = options.faults;
    if (name == "--device") {
        if (value == "bootloader") {
            options.device = SimDevice::BOOTLOADER;
        } else if (value == "normal") {
            options.device = SimDevice::NORMAL;
        } else if (value == "none") {
            options.device = SimDevice::NONE;
        } else {
            return false;
        }
        return true;
    }
    if (name == "--no-ack") {
        return parseblockcount(value, faults.no_ack);
    }
    if (name == "--wrong-ack") {
        return parseblockcount(value, faults.wrong_ack);
    }
    if (name == "--stall-write") {
        return parsestall(value, faults.stalled_writes);
    }
    if (name == "--late-ack") {
        return parselate(value, faults.late_ack);
    }
    if (name == "--ack-delay") {
        return parsemillis(value, faults.ack_delay_ms);
    }
    if (name == "--write-ms") {
        return parsemillis(value, faults.write_ms);
    }
    if (name == "--unplug-after") {
        unsigned long block = 0;
        if (!parsenumber(value, MAX_BLOCK, block)) {
            return false;
        }
        faults.unplug_after = static_cast<std::uint16_t>(block);
        return true;
    }
    if (name == "--save" && !value.empty()) {
        options.save_dir = value;
        return true;
    }
    if (name == "--pause-at") {
        return parsepause(value, options.pause_at);
    }
    if (name == "--trace" && !value.empty()) {
        options.trace_file = value;
        return true;
    }
    return false;
}

}  // namespace

std::optional<SimOptions> parsesimoptions(const std::vector<std::string>& args,
                                          std::string& error) {
    SimOptions options;
    const auto option = [&](const std::string& name, const std::string& value) {
        return parseoption(name, value, options);
    };
    if (!optionvalues::parsearguments(
            args, {{"--help", &options.help}, {"--hidraw", &options.hidraw}}, option, error)) {
        return std::nullopt;
    }
    return options;
}

std::shared_ptr<sim::Bootloader> setupbus(sim::Bus& bus, const SimOptions& options, int vendor_id) {
    constexpr std::uint16_t TORVIK_PRODUCT = 0x0006;
    // Windows holds keyboards exclusively: their interfaces cannot be opened.
    sim::Interface keyboard{"\\\\?\\hid#vid_046d&pid_c31c&mi_00#7&1a2b3c4d&0&0000#kbd"};
    keyboard.can_open = false;
    keyboard.vendor_id = 0x046D;
    keyboard.product_id = 0xC31C;
    bus.add(keyboard);

    sim::Interface mouse{"\\\\?\\hid#vid_046d&pid_c077#7&2b3c4d5e&0&0000#{4d1e55b2}"};
    mouse.vendor_id = 0x046D;
    mouse.product_id = 0xC077;
    mouse.version = 0x7200;
    mouse.string4 = u"USB Optical Mouse";
    bus.add(mouse);

    std::shared_ptr<sim::Bootloader> bootloader;
    if (options.device != SimDevice::NONE) {
        char path[80];
        std::snprintf(path, sizeof path,
                      "\\\\?\\hid#vid_%04x&pid_%04x#8&3c4d5e6f&0&0000#{4d1e55b2}",
                      static_cast<unsigned>(vendor_id), static_cast<unsigned>(TORVIK_PRODUCT));
        sim::Interface torvik{path};
        torvik.vendor_id = static_cast<std::uint16_t>(vendor_id);
        torvik.product_id = TORVIK_PRODUCT;
        torvik.version = 0x0100;
        if (options.device == SimDevice::BOOTLOADER) {
            torvik.string4 = u"" BOOTLOADER_STRING4;
            bootloader = std::make_shared<sim::Bootloader>(options.faults);
            torvik.device = bootloader;
        } else {
            torvik.string4 = u"" NORMAL_FIRMWARE_STRING4;
        }
        bus.add(torvik);
    }
    return bootloader;
}
