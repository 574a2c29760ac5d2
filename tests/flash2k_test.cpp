// Writing one block and having it confirmed, against the simulated
// bootloader: attempts, retries from chunk 0, the frame on the wire, output.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "platform/sim/bootloader.h"
#include "protocol/flash2k.h"
#include "sim_fixture.h"

namespace {

constexpr std::uint16_t BLOCK = 0x1234;
using Data = std::array<std::uint8_t, BLOCK_SIZE>;

// The bootloader, noting every write that starts, whether or not it completes.
class WatchedBootloader : public sim::Bootloader {
  public:
    using Bootloader::Bootloader;
    std::vector<sim::Report> started;

    std::optional<sim::Millis> writestarted(const sim::Report& report) override {
        started.push_back(report);
        return Bootloader::writestarted(report);
    }
};

Data sample() {
    Data data;
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    return data;
}

class Flash2k : public SimBusTest {
  protected:
    void start(sim::Faults faults = {}) {
        device = std::make_shared<WatchedBootloader>(std::move(faults));
        handle = attach(device);
    }
    // flash2k's result, with what it printed in `output`.
    int flash(const std::uint8_t* data, std::size_t length) {
        int result = -1;
        output = printed([&] { result = flash2k(handle, BLOCK, data, length); });
        return result;
    }
    std::vector<int> chunkorder() const {
        std::vector<int> order;
        for (const sim::Report& report : device->started) {
            order.push_back(report[5]);
        }
        return order;
    }

    std::shared_ptr<WatchedBootloader> device;
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string output;
};

// ---- attempts --------------------------------------------------------------

std::vector<int> chunks(int from, int to) {  // from..to-1
    std::vector<int> order;
    for (int chunk = from; chunk < to; ++chunk) {
        order.push_back(chunk);
    }
    return order;
}

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<int> times(int count, const std::vector<int>& order) {
    std::vector<int> all;
    for (int i = 0; i < count; ++i) {
        all = all + order;
    }
    return all;
}

sim::Faults noack(int count) {
    sim::Faults faults;
    faults.no_ack[BLOCK] = count;
    return faults;
}
sim::Faults wrongack(int count) {
    sim::Faults faults;
    faults.wrong_ack[BLOCK] = count;
    return faults;
}
sim::Faults stall(std::uint8_t chunk, int count) {
    sim::Faults faults;
    faults.stalled_writes.push_back({BLOCK, chunk, count});
    return faults;
}

struct Attempts {
    const char* name;
    sim::Faults faults;
    int confirmed;
    std::vector<int> chunk_order;  // of the writes started, stalled ones included
    int reads;  // one discarding the stale input before each attempt, and the acknowledgements'
    int complete_sendings;
};

const auto ALL = chunks(0, 36);
const Attempts ATTEMPTS[] = {
    {"AcknowledgedAtOnce_OneDot", {}, 1, ALL, 1 + 1, 1},
    {"FirstAnsweredWithThePreviousBlocksAck_SentAgainWhole", wrongack(1), 1, ALL + ALL, 2 + 2, 2},
    {"ChunkFailsInTheFirstAttempt_NoReadThenAgainFromChunk0", stall(10, 3), 1,
     chunks(0, 11) + std::vector<int>{10, 10} + ALL, 2 + 1, 1},
    {"FirstChunkFailsEveryTime_FourTimesThreeWritesNoReadNoDot", stall(0, sim::Faults::ALWAYS), 0,
     std::vector<int>(4 * 3, 0), 4 + 0, 0},
    {"AcknowledgesOnlyTheFourthAttempt_OneDot", noack(3), 1, times(4, ALL), 4 + 3 * 3 + 1, 4},
    {"FourUnansweredAttempts_NoDot", noack(sim::Faults::ALWAYS), 0, times(4, ALL), 4 + 4 * 3, 4},
};

void PrintTo(const Attempts& attempts, std::ostream* out) {
    *out << attempts.name;
}

class Flash2kAttempts : public Flash2k, public ::testing::WithParamInterface<Attempts> {};

TEST_P(Flash2kAttempts, SendTheWholeBlockAgainUntilConfirmed) {
    const Attempts& expected = GetParam();
    start(expected.faults);
    const Data data = sample();

    EXPECT_EQ(flash(data.data(), data.size()), expected.confirmed);
    EXPECT_EQ(output, expected.confirmed ? "." : "");
    EXPECT_EQ(chunkorder(), expected.chunk_order);
    for (const sim::Report& report : device->started) {
        ASSERT_EQ(report[3] | report[4] << 8, BLOCK) << "every chunk carries the block's number";
    }
    EXPECT_EQ(bus().accounting().reads, expected.reads);
    EXPECT_EQ(device->sendings(BLOCK), expected.complete_sendings);
    EXPECT_EQ(device->badframes(), 0);
    if (expected.confirmed) {
        EXPECT_EQ(device->stored().at(BLOCK), data);
    }
    // One event serves every attempt, and is closed again.
    EXPECT_EQ(bus().accounting().events_created, 1);
    EXPECT_EQ(bus().accounting().events_closed, 1);
}

INSTANTIATE_TEST_SUITE_P(Flash2k, Flash2kAttempts, ::testing::ValuesIn(ATTEMPTS),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the frame ---------------------------------------------------------------

TEST_F(Flash2k, TheLastChunkOfAFullBlockEndsWithTheChecksumLowByteFirstThenTwoZeros) {
    start();
    Data data;
    data.fill(0xFF);  // checksum 0x5928
    ASSERT_EQ(flash(data.data(), data.size()), 1);
    ASSERT_EQ(device->started.size(), 36u);
    const sim::Report& last = device->started.back();
    EXPECT_EQ(last[5], 35);
    EXPECT_TRUE(std::all_of(last.begin() + 6, last.begin() + 59, [](int b) { return b == 0xFF; }));
    EXPECT_EQ((std::vector<int>{last[59], last[60], last[61], last[62], last[63]}),
              (std::vector<int>{0x28, 0x59, 0x00, 0x00, 0x00}));
}

TEST_F(Flash2k, AShortBlockIsSentZeroFilledNotWithTheBytesBeyondItsLength) {
    start();
    const Data data = sample();
    ASSERT_EQ(flash(data.data(), 100), 1);
    Data expected{};
    std::copy_n(data.begin(), 100, expected.begin());
    EXPECT_EQ(device->stored().at(BLOCK), expected);
    EXPECT_EQ(device->badframes(), 0);
}

TEST_F(Flash2k, ALengthAboveTheBlockSizeIsRefusedWithNothingSent) {
    start();
    std::vector<std::uint8_t> data(BLOCK_SIZE + 1, 0x11);
    EXPECT_EQ(flash(data.data(), data.size()), 0);
    EXPECT_EQ(output, "");
    EXPECT_EQ(bus().accounting().writes, 0);
    EXPECT_EQ(bus().accounting().events_created, 0);
}

TEST_F(Flash2k, WithoutAnEventNothingIsSentAndNothingPrinted) {
    start();
    bus().event_creation_fails = true;
    const Data data = sample();
    EXPECT_EQ(flash(data.data(), data.size()), 0);
    EXPECT_EQ(output, "");
    EXPECT_EQ(bus().accounting().writes, 0);
    EXPECT_EQ(bus().accounting().reads, 0);
}

}  // namespace
