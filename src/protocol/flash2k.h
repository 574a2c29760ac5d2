// Writing one block to the device and having it confirmed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "protocol/reports.h"

// A block is sent whole this many times at most before it counts as failed.
constexpr int BLOCK_ATTEMPTS = 4;

// Builds the frame of a block: the data, zero bytes up to BLOCK_SIZE, the
// checksum of those BLOCK_SIZE bytes (low byte first) and two zero bytes.
// `length` is at most BLOCK_SIZE.
void buildframe(std::uint8_t frame[FRAME_SIZE], const std::uint8_t* data, std::size_t length);

// Sends the block as chunk reports and reads the device's acknowledgement,
// up to BLOCK_ATTEMPTS times. Returns 1 and prints "." when the device
// confirmed the block, 0 when it did not or when `length` exceeds BLOCK_SIZE
// (then nothing is sent).
int flash2k(HANDLE device, std::uint16_t block_number, const std::uint8_t* data,
            std::size_t length);
