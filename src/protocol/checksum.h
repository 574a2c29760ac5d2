// The block checksum carried in every block frame.
#pragma once

#include <cstdint>

#include "protocol/reports.h"

// A 16-bit shift-and-add sum over the 2,048 data bytes of a block in which
// each byte's position takes part, so that swapped or moved bytes change it.
std::uint16_t blockchecksum(const std::uint8_t block[BLOCK_SIZE]);
