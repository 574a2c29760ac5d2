// torvik-hidraw-run SYSFS DEV: the updater, exactly as torvikupdate's main
// runs it, linked with the Linux backend but finding sysfs and /dev where
// torvik-sim --hidraw laid them out. A tool for torvik-sim only: the shipped
// program has no such arguments.
#include <cstdio>

#include "hidraw_seams.h"
#include "torvikupdate.h"

int main(int argc, char** argv) {
    constexpr int EXIT_USAGE = 64;
    if (argc != 3) {
        std::fputs("usage: torvik-hidraw-run SYSFS DEV\n", stderr);
        return EXIT_USAGE;
    }
    hidrawseams::setroots(argv[1], argv[2]);
    return torvikupdate();
}
