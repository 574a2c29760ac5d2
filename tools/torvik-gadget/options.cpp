#include "options.h"

#include "common/core_fault_options.h"

const char GADGET_USAGE[] =
    "usage: torvik-gadget [OPTION]...\n"
    "Presents a Torvik on this machine's USB device controller (a configfs HID gadget)\n"
    "until it is stopped (SIGINT, SIGTERM); then takes the gadget down and writes a\n"
    "summary line to standard error. Needs root, configfs and a USB device controller.\n"
    "\n"
    "  --device=bootloader|normal   the Torvik in bootloader mode (default) or running\n"
    "                               its normal firmware (string 4 without the marker)\n"
    "  --no-ack=BLOCK[:N]           the first N sendings of BLOCK get no acknowledgement\n"
    "  --wrong-ack=BLOCK[:N]        ... are acknowledged as block BLOCK-1\n"
    "  --late-ack=BLOCK:MS[:N]      the first N sendings of BLOCK (default 1) are\n"
    "                               acknowledged MS ms after their last chunk\n"
    "  --ack-delay=MS               acknowledgements come MS ms after the last chunk\n"
    "  --stall=REPORTS:MS           after taking REPORTS reports, read nothing for MS ms\n"
    "  --unplug-after=BLOCK         unbind the controller once the host has read BLOCK's\n"
    "                               acknowledgement (at its next report)\n"
    "  --udc=NAME                   the device controller (default: the only one in\n"
    "                               /sys/class/udc)\n"
    "  --save=DIR                   on exit, write the stored images to DIR/fpga.bin and\n"
    "                               DIR/mcu.bin\n"
    "  --help                       show this text\n"
    "BLOCK is decimal or 0x-hex; N is a count or 'all' (the default, but for --late-ack).\n";

namespace {

constexpr unsigned long MAX_REPORTS = 1000000000;

// REPORTS:MS, and no count.
bool parsestall(const std::string& value, GadgetOptions& options) {
    std::vector<unsigned long> numbers;
    int count = 0;
    const bool counted = optionvalues::split(value).size() > 2;
    if (counted ||
        !optionvalues::parsefields(value, {MAX_REPORTS, optionvalues::MAX_MS}, 0, numbers, count)) {
        return false;
    }
    options.stall_after = static_cast<long>(numbers[0]);
    options.stall_ms = static_cast<devicecore::Millis>(numbers[1]);
    return true;
}

bool parseoption(const std::string& name, const std::string& value, GadgetOptions& options) {
    const auto fault = optionvalues::parsecorefault(name, value, options.faults);
    if (fault != optionvalues::FaultOption::NOT_ONE) {
        return fault == optionvalues::FaultOption::TAKEN;
    }
    if (name == "--device" && (value == "bootloader" || value == "normal")) {
        options.bootloader = value == "bootloader";
        return true;
    }
    if (name == "--stall") {
        return parsestall(value, options);
    }
    if ((name == "--udc" || name == "--save") && !value.empty()) {
        (name == "--udc" ? options.udc : options.save_dir) = value;
        return true;
    }
    return false;
}

}  // namespace

std::optional<GadgetOptions> parsegadgetoptions(const std::vector<std::string>& args,
                                                std::string& error) {
    GadgetOptions options;
    const auto option = [&](const std::string& name, const std::string& value) {
        return parseoption(name, value, options);
    };
    if (!optionvalues::parsearguments(args, {{"--help", &options.help}}, option, error)) {
        return std::nullopt;
    }
    return options;
}
