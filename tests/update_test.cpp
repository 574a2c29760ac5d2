// The update's block plan and its phases, against the simulated bootloader.
// Whole runs with the built-in images are checked report for report through
// torvik-sim (torvik_sim_test.cpp).
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "firmware_images.h"
#include "platform/sim/bootloader.h"
#include "sim_fixture.h"
#include "torvikupdate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Block = sim::Bootloader::Block;

Bytes fpgaimage() {
    return Bytes(fpgabin, fpgabin + FPGABIN_LENGTH);
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ---- the FPGA block plan -----------------------------------------------------

struct PlannedBlock {
    const char* name;
    std::uint32_t consumed;
    std::uint32_t taken;
    Bytes expected;
};

TEST(FpgaBlock, SplitsTheBuiltInImageBehindItsLengthField) {
    ASSERT_EQ(FPGABIN_LENGTH, 515884u) << "the cases below are worked out for this image";
    const Bytes image = fpgaimage();
    const PlannedBlock blocks[] = {
        {"first: length 0x0007DF2C, most significant byte first, then 2,044 bytes", 0, 2044,
         Bytes{0x00, 0x07, 0xDF, 0x2C} + slice(image, 0, 2044)},
        {"second: the next 2,048 bytes", 2044, 2048, slice(image, 2044, 2048)},
        {"last: 1,840 bytes, then zeros", 2044 + 250 * 2048, 1840,
         slice(image, 514044, 1840) + Bytes(208, 0)},
    };
    for (const PlannedBlock& planned : blocks) {
        Block block;
        block.fill(0xEE);  // whatever the buffer held before
        EXPECT_EQ(fpgablock(image.data(), FPGABIN_LENGTH, planned.consumed, block.data()),
                  planned.taken)
            << planned.name;
        EXPECT_EQ(Bytes(block.begin(), block.end()), planned.expected) << planned.name;
    }
}

// ---- the phases on the bus -----------------------------------------------------

class Phases : public SimBusTest {
  protected:
    void start(sim::Faults faults = {}) {
        device = std::make_shared<sim::Bootloader>(std::move(faults));
        handle = attach(device);
    }
    std::vector<int> storednumbers() const {
        std::vector<int> numbers;
        for (const auto& [number, data] : device->stored()) {
            numbers.push_back(number);
        }
        return numbers;
    }

    std::shared_ptr<sim::Bootloader> device;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

std::vector<int> numbers(int first, int count) {
    std::vector<int> all;
    for (int i = 0; i < count; ++i) {
        all.push_back(first + i);
    }
    return all;
}

struct SmallImage {
    std::uint32_t length;
    int blocks;
};

void PrintTo(const SmallImage& image, std::ostream* out) {
    *out << image.length << " bytes";
}

class SmallFpgaImages : public Phases, public ::testing::WithParamInterface<SmallImage> {};

TEST_P(SmallFpgaImages, TakeAsManyBlocksAsTheirStreamNeeds) {
    start();
    const SmallImage small = GetParam();
    const Bytes image = slice(fpgaimage(), 1000, small.length);
    int result = 0;
    const std::string output =
        printed([&] { result = fpgaphase(handle, image.data(), small.length); });

    EXPECT_EQ(result, 1);
    EXPECT_EQ(output, std::string(static_cast<std::size_t>(small.blocks), '.'));
    EXPECT_EQ(storednumbers(), numbers(0x1000, small.blocks));
    EXPECT_EQ(device->fpgaimage(), image);
}

// 2,044 image bytes fill the first block behind the length field.
INSTANTIATE_TEST_SUITE_P(Phases, SmallFpgaImages,
                         ::testing::Values(SmallImage{1, 1}, SmallImage{2044, 1},
                                           SmallImage{2045, 2}, SmallImage{2044 + 2048, 2},
                                           SmallImage{2044 + 2048 + 1, 3}),
                         [](const auto& info) {
                             return std::to_string(info.param.length) + "Bytes";
                         });

TEST_F(Phases, AFailingMcuBlock6EndsThePhaseThereAfterTwoDots) {
    sim::Faults faults;
    faults.no_ack[6] = sim::Faults::ALWAYS;
    start(faults);
    int result = 1;
    const std::string output = printed([&] { result = mcuphase(handle, mcubin, MCUBIN_LENGTH); });

    EXPECT_EQ(result, 0);
    EXPECT_EQ(output, "..");
    EXPECT_EQ(device->sendings(6), 4);
    EXPECT_EQ(device->sendings(7), 0) << "nothing after the failed block";
    EXPECT_EQ(device->sendings(8), 0);
}

TEST_F(Phases, RestartSendsTheRestartReportOnceAndPrintsNothing) {
    start();
    const std::string output = printed([&] { restartdevice(handle); });
    EXPECT_TRUE(device->restarted());
    EXPECT_EQ(output, "");
    EXPECT_EQ(bus().accounting().writes, 1);
    EXPECT_EQ(bus().accounting().reads, 0) << "a restarting device answers nothing";
    EXPECT_EQ(bus().accounting().events_created, 1);
}

TEST_F(Phases, RestartOfADeviceThatTakesNothingGivesUpWithNothingLeftBehind) {
    handle = attach(nullptr);
    restartdevice(handle);
    EXPECT_EQ(bus().accounting().writes, 3);
    EXPECT_EQ(bus().accounting().events_closed, 1);
}

}  // namespace
