// torvik-gadget: a Torvik on any Linux machine with a USB device controller.
//
// It sets up a configfs HID gadget with the Torvik's IDs, strings and report
// descriptor, binds it to a UDC and serves the bootloader's side of the
// protocol from /dev/hidgN with the shared device core, faults and all. On
// SIGINT or SIGTERM it takes the gadget down and writes a summary line to
// standard error:
//   elapsed=<ms from the first report taken to the last one taken or
//   delivered> writes=<reports taken> reads=<reports delivered> restarted=<yes|no>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "configfs.h"
#include "options.h"
#include "device/bootloader_core.h"
#include "serve.h"
#include "common/stored_images.h"
#include "torvik_config.h"

namespace {

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 64;
constexpr int EXIT_CANNOT_WRITE = 74;  // --save could not write the images
// The device's own identity, written out here rather than taken from the
// updater's constants, so that an updater looking for anything else does
// not find it.
constexpr unsigned TORVIK_PRODUCT = 0x0006;
constexpr unsigned TORVIK_VERSION = 0x0100;

// The unplug comes from inside the serving loop.
GadgetTree gadget;

void unplug() {
    unbind(gadget);
}

void nothing(int) {}

// SIGINT and SIGTERM stay blocked but while the loop waits, so that one
// that comes at any other time ends the next wait at once, also during setup.
sigset_t blocksignals() {
    struct sigaction action {};
    action.sa_handler = nothing;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    sigset_t waiting;
    sigprocmask(SIG_BLOCK, &stopping, &waiting);
    sigdelset(&waiting, SIGINT);
    sigdelset(&waiting, SIGTERM);
    return waiting;
}

bool saveimages(const std::string& dir, StoredBlocks& stored) {
    mkdir(dir.c_str(), 0755);
    return storedimages::save(blockstorage(stored), dir + "/");
}

// Sets the gadget up and opens its node; -1 after saying why not.
int setup(const GadgetOptions& options) {
    std::string udc;
    std::string path;
    SetupError error = checkconfigfs();
    if (error.empty()) {
        error = chooseudc(options.udc, udc);
    }
    if (error.empty()) {
        const GadgetIdentity identity{
            TORVIK_VENDOR_ID, TORVIK_PRODUCT, TORVIK_VERSION,
            options.bootloader ? BOOTLOADER_STRING4 : NORMAL_FIRMWARE_STRING4};
        error = makegadget(identity, udc, gadget);
    }
    if (error.empty()) {
        error = hidgpath(gadget, path);
    }
    int hidg = -1;
    if (error.empty() && (hidg = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
    }
    if (!error.empty()) {
        takedown(gadget);
        std::fprintf(stderr, "torvik-gadget: %s\n", error.c_str());
    }
    return hidg;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parsegadgetoptions({argv + 1, argv + argc}, error);
    if (!options) {
        std::fprintf(stderr, "torvik-gadget: %s\n%s", error.c_str(), GADGET_USAGE);
        return EXIT_USAGE;
    }
    if (options->help) {
        std::fputs(GADGET_USAGE, stdout);
        return 0;
    }
    const sigset_t waiting = blocksignals();
    const int hidg = setup(*options);
    if (hidg < 0) {
        return EXIT_FAILED;
    }
    StoredBlocks stored;
    const ServeSettings settings{options->bootloader, options->faults, options->stall_after,
                                 options->stall_ms};
    const ServeCounts counts = serve(hidg, settings, waiting, unplug, stored);
    close(hidg);
    takedown(gadget);
    if (!options->save_dir.empty() && !saveimages(options->save_dir, stored)) {
        std::fprintf(stderr, "torvik-gadget: cannot write the stored images to %s\n",
                     options->save_dir.c_str());
        return EXIT_CANNOT_WRITE;
    }
    std::fprintf(stderr, "elapsed=%lld writes=%ld reads=%ld restarted=%s\n",
                 static_cast<long long>(counts.first_ms < 0 ? 0 : counts.last_ms - counts.first_ms),
                 counts.taken, counts.delivered, counts.restarted ? "yes" : "no");
    return 0;
}
