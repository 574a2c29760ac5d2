// The block checksum's worked values, the reports byte for byte, and what
// passes for an acknowledgement. The whole runs judge every frame and the
// stored images (property_test.cpp, torvik_sim_test.cpp), but there a byte
// left unset may happen to hold the right value; here every buffer starts
// full of 0xAA.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>

#include "protocol/checksum.h"
#include "protocol/flash2k.h"
#include "protocol/reports.h"

namespace {

using Block = std::array<std::uint8_t, BLOCK_SIZE>;
using Report = std::array<std::uint8_t, REPORT_SIZE>;

Block withbytes(std::size_t at, const char* bytes, std::uint8_t rest = 0) {
    Block block;
    block.fill(rest);
    std::memcpy(block.data() + at, bytes, std::strlen(bytes));
    return block;
}

TEST(BlockChecksum, GivesTheWorkedValues) {
    const std::pair<Block, std::uint16_t> values[] = {
        {withbytes(0, ""), 0x402E},
        {withbytes(0, "abc"), 0x4C0E},
        {withbytes(0, "bac"), 0x4B4E},               // order counts
        {withbytes(BLOCK_SIZE - 3, "abc"), 0x4149},  // position counts
        {withbytes(0, "", 0xFF), 0x5928},
    };
    for (const auto& [block, checksum] : values) {
        EXPECT_EQ(blockchecksum(block.data()), checksum) << std::hex << checksum;
    }
}

constexpr std::uint8_t UNSET = 0xAA;

TEST(Reports, ChunkAndRestartReportsByteForByte) {
    std::array<std::uint8_t, FRAME_SIZE> frame;
    for (std::size_t i = 0; i < FRAME_SIZE; ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    Report chunk;
    chunk.fill(UNSET);
    buildchunkheader(chunk.data(), 0x1234);
    setchunk(chunk.data(), 35, frame.data());
    Report expected{0x00, 0x46, 0x2A, 0x34, 0x12, 35};
    std::memcpy(expected.data() + 6, frame.data() + 35 * 57, 57);  // the last 57 bytes
    EXPECT_EQ(chunk, expected) << "chunk 35 of block 0x1234";

    Report restart;
    restart.fill(UNSET);
    buildrestartreport(restart.data());
    EXPECT_EQ(restart, (Report{0x00, 0x46, 0x2A, 0x47, 0x00, 0xFF})) << "restart";
}

TEST(Acknowledgement, IsRecognisedOnlyForItsOwnBlockAndMarker) {
    struct Answer {
        const char* name;
        Report report;
        bool acknowledges_0x1001;
    };
    const Answer answers[] = {
        {"F+ and the block", {0x00, 0x46, 0x2B, 0x01, 0x10}, true},
        {"any report ID and tail", {0x7F, 0x46, 0x2B, 0x01, 0x10, 0xCC, 0xCC, 0xCC}, true},
        {"the previous block", {0x00, 0x46, 0x2B, 0x00, 0x10}, false},
        {"only the high byte differs", {0x00, 0x46, 0x2B, 0x01, 0x00}, false},
        {"block number bytes swapped", {0x00, 0x46, 0x2B, 0x10, 0x01}, false},
        {"G+", {0x00, 0x47, 0x2B, 0x01, 0x10}, false},
        {"F-", {0x00, 0x46, 0x2D, 0x01, 0x10}, false},
        {"F*", {0x00, 0x46, 0x2A, 0x01, 0x10}, false},
        {"F+ one byte early", {0x46, 0x2B, 0x01, 0x10}, false},
    };
    for (const Answer& answer : answers) {
        EXPECT_EQ(isacknowledgement(answer.report.data(), 0x1001), answer.acknowledges_0x1001)
            << answer.name;
    }
    EXPECT_FALSE(isacknowledgement(Report{}.data(), 0x0000)) << "an empty buffer, block 0";
}

}  // namespace
