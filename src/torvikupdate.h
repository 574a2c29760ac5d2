// The update driver: the run from search to restart, and its phases.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "protocol/reports.h"

constexpr int TORVIK_PRODUCT_ID = 0x0006;
constexpr int ANY_VERSION = 0;

constexpr int EXIT_NO_DEVICE = 2;
constexpr int EXIT_BLOCK_FAILED = 3;

// Block numbers on the device: the FPGA stream from 0x1000, the MCU image from 4.
constexpr std::uint16_t FPGA_FIRST_BLOCK = 0x1000;
constexpr std::uint16_t MCU_FIRST_BLOCK = 4;

// The FPGA stream starts with the image length, most significant byte first.
constexpr std::size_t FPGA_LENGTH_FIELD_SIZE = 4;

// Fills `block` with the FPGA stream's block that starts after `consumed`
// image bytes, zero-filled past the image's end, and returns how many image
// bytes it took. The first block (consumed 0) carries the length field.
std::uint32_t fpgablock(const std::uint8_t* image, std::uint32_t length, std::uint32_t consumed,
                        std::uint8_t block[BLOCK_SIZE]);

// Write every block of an image; 1 when the device confirmed them all, 0 at
// the first block it did not. They print only the progress dots.
int fpgaphase(HANDLE device, const std::uint8_t* image, std::uint32_t length);
int mcuphase(HANDLE device, const std::uint8_t* image, std::uint32_t length);

// Tells the device the update is complete; its outcome is not examined.
void restartdevice(HANDLE device);

// The whole run. Returns 0 after a complete update; ends the process with
// EXIT_NO_DEVICE or EXIT_BLOCK_FAILED otherwise.
int torvikupdate();
