// The bootloader's reports and the block checksum, as pure functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

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

TEST(BlockFrame, ShortDataIsZeroFilledAndTheChecksumCoversTheFill) {
    std::array<std::uint8_t, FRAME_SIZE> frame;
    frame.fill(0xEE);  // whatever the stack held before
    buildframe(frame.data(), reinterpret_cast<const std::uint8_t*>("abc"), 3);
    const Block padded = withbytes(0, "abc");
    EXPECT_TRUE(std::equal(padded.begin(), padded.end(), frame.begin()));
    // 0x4C0E, low byte first, then two zeros.
    EXPECT_EQ((std::vector<int>(frame.end() - 4, frame.end())),
              (std::vector<int>{0x0E, 0x4C, 0x00, 0x00}));
}

TEST(ChunkReport, ForBlock0x1001Chunk35CarriesTheFrameTail) {
    std::array<std::uint8_t, FRAME_SIZE> frame;
    std::iota(frame.begin(), frame.end(), std::uint8_t{0});  // byte i holds i mod 256
    Report report;
    report.fill(0xEE);
    buildchunkheader(report.data(), 0x1001);
    setchunk(report.data(), 35, frame.data());

    const std::uint8_t header[] = {0x00, 0x46, 0x2A, 0x01, 0x10, 0x23};
    EXPECT_TRUE(std::equal(std::begin(header), std::end(header), report.begin()));
    EXPECT_TRUE(std::equal(frame.begin() + 1995, frame.end(), report.begin() + 6));
    EXPECT_EQ(report[63], 0x00);
}

TEST(RestartReport, IsFStarGThenFFAndZeros) {
    Report report;
    report.fill(0xEE);
    buildrestartreport(report.data());
    EXPECT_EQ(report, (Report{0x00, 0x46, 0x2A, 0x47, 0x00, 0xFF}));
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
