#include "protocol/reports.h"

#include <cstring>

namespace {

void putmarker(std::uint8_t report[REPORT_SIZE], std::uint16_t block_number) {
    report[REPORT_MARKER_OFFSET] = MARKER_F;
    report[REPORT_MARKER_OFFSET + 1] = MARKER_CHUNK;
    report[REPORT_BLOCK_NUMBER_OFFSET] = static_cast<std::uint8_t>(block_number & 0xFF);
    report[REPORT_BLOCK_NUMBER_OFFSET + 1] = static_cast<std::uint8_t>(block_number >> 8);
}

}  // namespace

void buildchunkheader(std::uint8_t report[REPORT_SIZE], std::uint16_t block_number) {
    std::memset(report, 0, REPORT_SIZE);
    putmarker(report, block_number);
}

void setchunk(std::uint8_t report[REPORT_SIZE], std::size_t chunk_index,
              const std::uint8_t frame[FRAME_SIZE]) {
    report[REPORT_CHUNK_INDEX_OFFSET] = static_cast<std::uint8_t>(chunk_index);
    std::memcpy(report + REPORT_CHUNK_DATA_OFFSET, frame + chunk_index * CHUNK_SIZE, CHUNK_SIZE);
}

void buildrestartreport(std::uint8_t report[REPORT_SIZE]) {
    std::memset(report, 0, REPORT_SIZE);
    putmarker(report, RESTART_BLOCK_NUMBER);
    report[REPORT_CHUNK_INDEX_OFFSET] = RESTART_CHUNK_INDEX;
}

int isacknowledgement(const std::uint8_t report[REPORT_SIZE], std::uint16_t block_number) {
    const unsigned acknowledged =
        report[REPORT_BLOCK_NUMBER_OFFSET] | (report[REPORT_BLOCK_NUMBER_OFFSET + 1] << 8);
    return report[REPORT_MARKER_OFFSET] == MARKER_F &&
           report[REPORT_MARKER_OFFSET + 1] == MARKER_ACK && acknowledged == block_number;
}
