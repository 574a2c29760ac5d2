#include "torvikupdate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "firmware_images.h"
#include "hid/discovery.h"
#include "hid/exchange.h"
#include "protocol/flash2k.h"
#include "torvik_config.h"

namespace {

const char NOT_FOUND_MESSAGE[] =
    "No Torvik found. Please restart Torvik in bootloader mode (connect USB during power on).";

// Closes the phase's line. A failed block ends the run where it stands: the
// device is not told to restart, and the next run starts from the beginning.
void endphase(int all_blocks_confirmed) {
    if (!all_blocks_confirmed) {
        std::puts(" failed.");
        std::exit(EXIT_BLOCK_FAILED);
    }
    std::puts(" done.");
}

}  // namespace

std::uint32_t fpgablock(const std::uint8_t* image, std::uint32_t length, std::uint32_t consumed,
                        std::uint8_t block[BLOCK_SIZE]) {
    std::memset(block, 0, BLOCK_SIZE);
    std::size_t filled = 0;
    if (consumed == 0) {
        for (std::size_t i = 0; i < FPGA_LENGTH_FIELD_SIZE; ++i) {
            block[i] = static_cast<std::uint8_t>(length >> (8 * (FPGA_LENGTH_FIELD_SIZE - 1 - i)));
        }
        filled = FPGA_LENGTH_FIELD_SIZE;
    }
    std::uint32_t taken = static_cast<std::uint32_t>(BLOCK_SIZE - filled);
    if (taken > length - consumed) {
        taken = length - consumed;
    }
    std::memcpy(block + filled, image + consumed, taken);
    return taken;
}

int fpgaphase(HANDLE device, const std::uint8_t* image, std::uint32_t length) {
    std::uint8_t block[BLOCK_SIZE];
    std::uint16_t block_number = FPGA_FIRST_BLOCK;
    for (std::uint32_t consumed = 0; consumed < length; ++block_number) {
        consumed += fpgablock(image, length, consumed, block);
        if (!flash2k(device, block_number, block, BLOCK_SIZE)) {
            return 0;
        }
    }
    return 1;
}

int mcuphase(HANDLE device, const std::uint8_t* image, std::uint32_t length) {
    std::uint16_t block_number = MCU_FIRST_BLOCK;
    for (std::uint32_t offset = 0; offset < length; offset += BLOCK_SIZE, ++block_number) {
        if (!flash2k(device, block_number, image + offset, BLOCK_SIZE)) {
            return 0;
        }
    }
    return 1;
}

void restartdevice(HANDLE device) {
    std::uint8_t report[REPORT_SIZE];
    buildrestartreport(report);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED io = iocontext(event);
    // The device restarts and answers nothing; a failed write changes nothing
    // for the user, as both images are already confirmed.
    sendblock(device, report, &io, event);
    if (event != nullptr) {
        CloseHandle(event);
    }
}

int torvikupdate() {
    // Progress shows as it happens, also through a pipe or into a file.
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    HANDLE device = connectToUSBHIDDevice(TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID, ANY_VERSION);
    if (device == INVALID_HANDLE_VALUE) {
        std::puts(NOT_FOUND_MESSAGE);
        std::exit(EXIT_NO_DEVICE);
    }

    std::fputs("Updating FPGA.", stdout);
    endphase(fpgaphase(device, fpgabin, FPGABIN_LENGTH));

    std::fputs("Updating MCU.", stdout);
    endphase(mcuphase(device, mcubin, MCUBIN_LENGTH));

    std::puts("Restarting...");
    restartdevice(device);

    CloseHandle(device);
    return 0;
}
