// The block checksum's worked values, the frame and reports byte for byte, and
// what passes for an acknowledgement. The whole runs check the reports too
// (property_test.cpp, torvik_sim_test.cpp), but there a byte left unset may
// happen to hold the right value; here every buffer starts full of 0xAA.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "protocol/checksum.h"
#include "protocol/flash2k.h"
#include "protocol/reports.h"
#include "torvikupdate.h"

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

TEST(Frame, IsTheDataThenZerosThenTheChecksumLowByteFirstThenTwoZeros) {
    std::array<std::uint8_t, FRAME_SIZE> frame;
    frame.fill(UNSET);
    buildframe(frame.data(), reinterpret_cast<const std::uint8_t*>("abc"), 3);
    std::array<std::uint8_t, FRAME_SIZE> expected{};
    const Block block = withbytes(0, "abc");
    std::memcpy(expected.data(), block.data(), BLOCK_SIZE);
    expected[BLOCK_SIZE] = 0x0E;  // 0x4C0E, its worked value
    expected[BLOCK_SIZE + 1] = 0x4C;
    EXPECT_EQ(frame, expected);
}

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

// The FPGA stream: the image's length (big-endian) in front of the first
// block, and zeros after the image's end. The image lies in a longer buffer,
// so that a block taking a byte too many shows it.
TEST(FpgaBlock, TheLengthFirstThenTheImageThenZeros) {
    std::vector<std::uint8_t> buffer(3 * BLOCK_SIZE);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(i * 3 + 1);
    }
    const struct {
        std::uint32_t length, consumed, taken;
    } cases[] = {
        {5000, 0, BLOCK_SIZE - 4}, {5000, 2044, BLOCK_SIZE},
        {5000, 4092, 908},         {4091, 2044, BLOCK_SIZE - 1},  // one byte short of a whole block
        {2044, 0, BLOCK_SIZE - 4},
    };
    for (const auto& test : cases) {
        Block block;
        block.fill(UNSET);
        EXPECT_EQ(fpgablock(buffer.data(), test.length, test.consumed, block.data()), test.taken);
        Block expected{};
        const std::size_t at = test.consumed == 0 ? 4 : 0;
        if (test.consumed == 0) {
            expected = {static_cast<std::uint8_t>(test.length >> 24),
                        static_cast<std::uint8_t>(test.length >> 16),
                        static_cast<std::uint8_t>(test.length >> 8),
                        static_cast<std::uint8_t>(test.length)};
        }
        std::memcpy(expected.data() + at, buffer.data() + test.consumed, test.taken);
        EXPECT_EQ(block, expected) << test.length << " bytes from " << test.consumed;
    }
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
