// A block's attempt as flash2k makes it, on the simulated bus. How reports
// are tried, waited for and cancelled, and what a whole update makes of it,
// is the property test's (property_test.cpp).
#include <gtest/gtest.h>

#include "hid/exchange.h"
#include "protocol/flash2k.h"
#include "platform/sim/torvik.h"
#include "sim_fixture.h"

namespace {

// A block that does not fit the frame is refused whole: nothing is sent and
// nothing printed.
TEST_F(SimBusTest, Flash2kRefusesABlockLongerThanTheFrameCarries) {
    const HANDLE handle = attach(std::make_shared<sim::Bootloader>());
    const std::vector<std::uint8_t> data(BLOCK_SIZE + 1, 0x5A);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(flash2k(handle, 0x1000, data.data(), data.size()), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(bus().accounting().writes, 0);
}

// A chunk that cannot be written ends the attempt: the rest of the block is
// not sent, and no acknowledgement is waited for.
TEST_F(SimBusTest, Flash2kEndsAnAttemptAtAChunkThatCannotBeWritten) {
    sim::Faults faults;
    faults.stalled_writes.push_back({0x1000, 5, sim::Faults::ALWAYS});
    const HANDLE handle = attach(std::make_shared<sim::Bootloader>(faults));
    const std::vector<std::uint8_t> data(BLOCK_SIZE, 0x5A);
    EXPECT_EQ(flash2k(handle, 0x1000, data.data(), data.size()), 0);
    // Each of 4 attempts: chunks 0 to 4, chunk 5 tried 3 times; the only
    // read, the stale-input check's.
    EXPECT_EQ(bus().accounting().writes, 4 * (5 + 3));
    EXPECT_EQ(bus().accounting().reads, 4);
}

}  // namespace
