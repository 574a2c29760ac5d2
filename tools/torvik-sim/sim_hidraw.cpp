#include "sim_hidraw.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "device/bootloader_core.h"
#include "sysfs_tree.h"

extern char** environ;

namespace {

constexpr unsigned KEYBOARD = 0;
constexpr unsigned MOUSE = 1;
// Two digits, so that the backend's numeric order is exercised: hidraw10
// comes after hidraw1.
constexpr unsigned TORVIK = 10;
constexpr std::uint16_t TORVIK_PRODUCT = 0x0006;
constexpr int SIGNAL_STATUS_BASE = 128;

std::string nodename(unsigned number) {
    return "hidraw" + std::to_string(number);
}

// The same machine as the simulated bus's: a keyboard, a mouse, the Torvik.
void layout(SysfsTree& tree, HidrawNodes& nodes, const SimOptions& options, int vendor_id,
            HidrawRun& run) {
    HidrawEntry keyboard;
    keyboard.number = KEYBOARD;
    keyboard.vendor_id = 0x046D;
    keyboard.product_id = 0xC31C;
    tree.add(keyboard, false);
    nodes.add(nodename(KEYBOARD), nullptr);

    HidrawEntry mouse;
    mouse.number = MOUSE;
    mouse.vendor_id = 0x046D;
    mouse.product_id = 0xC077;
    mouse.version = 0x7200;
    mouse.interface_string = "USB Optical Mouse";
    tree.add(mouse, false);
    nodes.add(nodename(MOUSE), nullptr);

    if (options.device == SimDevice::NONE) {
        return;
    }
    HidrawEntry torvik;
    torvik.number = TORVIK;
    torvik.vendor_id = static_cast<std::uint16_t>(vendor_id);
    torvik.product_id = TORVIK_PRODUCT;
    torvik.version = 0x0100;
    if (options.device == SimDevice::BOOTLOADER) {
        torvik.interface_string = BOOTLOADER_STRING4;
        run.bootloader = std::make_shared<sim::Bootloader>(options.faults);
    } else {
        torvik.interface_string = NORMAL_FIRMWARE_STRING4;
    }
    tree.add(torvik, false);
    nodes.add(nodename(TORVIK), run.bootloader);
}

// torvik-hidraw-run lies beside torvik-sim.
std::string runnerpath() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (self.parent_path() / "torvik-hidraw-run").string();
}

}  // namespace

HidrawRun runthroughhidraw(const SimOptions& options, int vendor_id,
                           const HidrawNodes::WireHook& on_wire) {
    HidrawRun run;
    SysfsTree tree;
    HidrawNodes nodes(on_wire);
    layout(tree, nodes, options, vendor_id, run);
    if (!nodes.mount(tree.dev(), run.error)) {
        return run;
    }
    const std::string runner = runnerpath();
    std::string sysfs = tree.sysfs();
    std::string dev = tree.dev();
    char* arguments[] = {const_cast<char*>(runner.c_str()), sysfs.data(), dev.data(), nullptr};
    const sim::Millis started = nodes.now();
    pid_t child = 0;
    if (posix_spawn(&child, runner.c_str(), nullptr, nullptr, arguments, environ) != 0) {
        run.error = "cannot start " + runner;
        return run;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.elapsed = nodes.now() - started;
    nodes.unmount();
    run.writes = nodes.writes();
    run.reads = nodes.reads();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : SIGNAL_STATUS_BASE + WTERMSIG(status);
    return run;
}
