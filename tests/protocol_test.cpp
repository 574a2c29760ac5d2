// The bootloader's reports and the block checksum, as pure functions.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>

#include "protocol/checksum.h"
#include "protocol/flash2k.h"
#include "protocol/reports.h"

namespace {

using Block = std::array<std::uint8_t, BLOCK_SIZE>;
using Report = std::array<std::uint8_t, REPORT_SIZE>;

Block filled(std::uint8_t value) {
    Block block;
    block.fill(value);
    return block;
}

Block withbytes(std::size_t at, const char* bytes) {
    Block block{};
    std::memcpy(block.data() + at, bytes, std::strlen(bytes));
    return block;
}

struct WorkedValue {
    const char* name;
    Block block;
    std::uint16_t checksum;
};

TEST(BlockChecksum, GivesTheWorkedValues) {
    const WorkedValue values[] = {
        {"all zero", filled(0x00), 0x402E},
        {"abc first", withbytes(0, "abc"), 0x4C0E},
        {"bac first: order counts", withbytes(0, "bac"), 0x4B4E},
        {"abc last: position counts", withbytes(BLOCK_SIZE - 3, "abc"), 0x4149},
        {"all 0xFF", filled(0xFF), 0x5928},
    };
    for (const WorkedValue& value : values) {
        EXPECT_EQ(blockchecksum(value.block.data()), value.checksum) << value.name;
    }
}

TEST(BlockFrame, ShortDataIsZeroFilledAndTheChecksumCoversTheFill) {
    Block padded{};
    std::memcpy(padded.data(), "abc", 3);
    std::array<std::uint8_t, FRAME_SIZE> frame;
    frame.fill(0xEE);  // whatever the stack held before
    buildframe(frame.data(), reinterpret_cast<const std::uint8_t*>("abc"), 3);

    EXPECT_TRUE(std::equal(padded.begin(), padded.end(), frame.begin()));
    EXPECT_EQ(frame[2048], 0x0E);  // 0x4C0E, low byte first
    EXPECT_EQ(frame[2049], 0x4C);
    EXPECT_EQ(frame[2050], 0x00);
    EXPECT_EQ(frame[2051], 0x00);
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

TEST(ChunkReport, HeaderSurvivesEveryChunk) {
    std::array<std::uint8_t, FRAME_SIZE> frame;
    frame.fill(0xA5);
    Report report;
    buildchunkheader(report.data(), 0xBEEF);
    for (std::size_t chunk = 0; chunk < CHUNKS_PER_FRAME; ++chunk) {
        setchunk(report.data(), chunk, frame.data());
    }
    EXPECT_EQ(report[0], 0x00);
    EXPECT_EQ(report[3], 0xEF);
    EXPECT_EQ(report[4], 0xBE);
    EXPECT_EQ(report[5], 35);
    EXPECT_EQ(report[63], 0x00);
}

TEST(RestartReport, IsFStarGThenFFAndZeros) {
    Report report;
    report.fill(0xEE);
    buildrestartreport(report.data());
    Report expected{};
    expected[1] = 0x46;
    expected[2] = 0x2A;
    expected[3] = 0x47;
    expected[5] = 0xFF;
    EXPECT_EQ(report, expected);
}

Report answer(std::uint8_t byte0, std::uint8_t byte1, std::uint8_t byte2, std::uint16_t block) {
    Report report{};
    report[0] = byte0;
    report[1] = byte1;
    report[2] = byte2;
    report[3] = static_cast<std::uint8_t>(block & 0xFF);
    report[4] = static_cast<std::uint8_t>(block >> 8);
    return report;
}

TEST(Acknowledgement, IsRecognisedOnlyForItsOwnBlockAndMarker) {
    EXPECT_TRUE(isacknowledgement(answer(0x00, 0x46, 0x2B, 0x1001).data(), 0x1001));
    EXPECT_FALSE(isacknowledgement(answer(0x00, 0x46, 0x2B, 0x1000).data(), 0x1001))
        << "the previous block's acknowledgement";
    EXPECT_FALSE(isacknowledgement(answer(0x00, 0x46, 0x2B, 0x0110).data(), 0x1001))
        << "block number bytes swapped";
    EXPECT_FALSE(isacknowledgement(answer(0x00, 0x46, 0x2B, 0x0001).data(), 0x1001))
        << "only the high byte differs";
    EXPECT_FALSE(isacknowledgement(answer(0x00, 0x46, 0x2D, 0x1001).data(), 0x1001)) << "F-";
    EXPECT_FALSE(isacknowledgement(answer(0x00, 0x46, 0x2A, 0x1001).data(), 0x1001)) << "F*";
    EXPECT_FALSE(isacknowledgement(answer(0x00, 0x00, 0x00, 0x0000).data(), 0x0000))
        << "an empty buffer is no acknowledgement of block 0";

    Report shifted{};  // "F+" one byte early, as if the report ID were missing
    shifted[0] = 0x46;
    shifted[1] = 0x2B;
    shifted[2] = 0x01;
    shifted[3] = 0x10;
    EXPECT_FALSE(isacknowledgement(shifted.data(), 0x1001));
}

TEST(Acknowledgement, IgnoresTheReportIdAndEverythingAfterTheBlockNumber) {
    Report report = answer(0x7F, 0x46, 0x2B, 0x0004);
    std::fill(report.begin() + 5, report.end(), std::uint8_t{0xCC});
    EXPECT_TRUE(isacknowledgement(report.data(), 0x0004));
}

}  // namespace
