#include "protocol/checksum.h"

std::uint16_t blockchecksum(const std::uint8_t block[BLOCK_SIZE]) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < BLOCK_SIZE; ++i) {
        const std::uint16_t position = static_cast<std::uint16_t>(i);
        const bool top_bit = (sum & 0x8000u) != 0;
        // Arithmetic is modulo 2^16: the casts drop what shifts out of bit 15.
        const std::uint16_t shifted =
            top_bit ? static_cast<std::uint16_t>((sum ^ position) << 1)
                    : static_cast<std::uint16_t>(
                          ((sum ^ static_cast<std::uint16_t>(~position)) << 1) + 1);
        sum = static_cast<std::uint16_t>(shifted + block[i]);
    }
    return sum;
}
