// The bootloader's reports: what the updater sends and what it accepts back.
#pragma once

#include <cstddef>
#include <cstdint>

// Every report is written and read as exactly this many bytes, report ID first.
constexpr std::size_t REPORT_SIZE = 64;

// A block of an image stream, and the frame that carries it: the block, its
// checksum (low byte first) and two zero bytes.
constexpr std::size_t BLOCK_SIZE = 2048;
constexpr std::size_t FRAME_SIZE = BLOCK_SIZE + 4;
constexpr std::size_t FRAME_CHECKSUM_OFFSET = BLOCK_SIZE;

// The frame travels in chunk reports of this many bytes each.
constexpr std::size_t CHUNK_SIZE = 57;
constexpr std::size_t CHUNKS_PER_FRAME = FRAME_SIZE / CHUNK_SIZE;
static_assert(CHUNKS_PER_FRAME * CHUNK_SIZE == FRAME_SIZE, "frame splits into whole chunks");

// Report layout: byte 0 is the report ID (the device uses none, so 0), then a
// two-byte marker, a little-endian block number and a chunk index.
constexpr std::size_t REPORT_MARKER_OFFSET = 1;
constexpr std::size_t REPORT_BLOCK_NUMBER_OFFSET = 3;
constexpr std::size_t REPORT_CHUNK_INDEX_OFFSET = 5;
constexpr std::size_t REPORT_CHUNK_DATA_OFFSET = 6;

constexpr std::uint8_t MARKER_F = 0x46;                 // 'F', first byte of every marker
constexpr std::uint8_t MARKER_CHUNK = 0x2A;             // 'F*': chunk and restart reports
constexpr std::uint8_t MARKER_ACK = 0x2B;               // 'F+': acknowledgement
constexpr std::uint16_t RESTART_BLOCK_NUMBER = 0x0047;  // 'G'
constexpr std::uint8_t RESTART_CHUNK_INDEX = 0xFF;      // no chunk report uses it

// Clears the report and sets the marker and block number, which stay the same
// for every chunk of a block.
void buildchunkheader(std::uint8_t report[REPORT_SIZE], std::uint16_t block_number);

// Sets the chunk index and copies that chunk of the frame into the report.
void setchunk(std::uint8_t report[REPORT_SIZE], std::size_t chunk_index,
              const std::uint8_t frame[FRAME_SIZE]);

// The report that tells the device the update is complete and to restart.
void buildrestartreport(std::uint8_t report[REPORT_SIZE]);

// 1 when the report acknowledges the block, else 0. Reads bytes 1 to 4 only:
// the report ID and everything after the block number are the device's own.
int isacknowledgement(const std::uint8_t report[REPORT_SIZE], std::uint16_t block_number);
