// A block of zeros as the updater sends it: its 36 chunk reports, each with
// the report ID byte in front.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "device/bootloader_core.h"
#include "protocol/flash2k.h"

using Report = std::array<std::uint8_t, devicecore::REPORT_BYTES>;

inline std::vector<Report> blockreports(std::uint16_t block_number) {
    std::array<std::uint8_t, BLOCK_SIZE> data{};
    std::uint8_t frame[FRAME_SIZE];
    buildframe(frame, data.data(), data.size());
    std::vector<Report> reports(CHUNKS_PER_FRAME);
    for (std::size_t chunk = 0; chunk < CHUNKS_PER_FRAME; ++chunk) {
        buildchunkheader(reports[chunk].data(), block_number);
        setchunk(reports[chunk].data(), chunk, frame);
    }
    return reports;
}
