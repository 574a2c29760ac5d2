// A block's attempt as flash2k makes it, on the simulated bus. How reports
// are tried, waited for and cancelled, and what a whole update makes of it,
// is the property test's (property_test.cpp).
#include <gtest/gtest.h>

#include "hid/exchange.h"
#include "protocol/flash2k.h"
#include "platform/sim/torvik.h"
#include "sim_fixture.h"

namespace {

using sim::Report;

// The ends of a single write or read that the property test's schedules do
// not tell apart: a write taken at once, and the two outcomes of a cancel
// that lost its race. Each try waits 200 ms (a write) or 2,000 ms (a read).
struct Case {
    const char* name;
    bool write;
    int stalls, races_lost, cancel_errors;
    int result, operations, cancels, taken;
    sim::Millis elapsed;
};

const Case CASES[] = {
    {"WriteTakenAtOnce_OneTry", true, 0, 0, 0, 1, 1, 0, 1, 0},
    {"WriteEndingInAnErrorAsItIsCancelled_Completed", true, 1, 0, 1, 1, 1, 1, 0, 201},
    {"ReadCompletedAsItIsCancelled_NothingInTheBuffer", false, 0, 1, 0, 1, 1, 1, 0, 2000},
};

class Exchange : public SimBusTest, public ::testing::WithParamInterface<Case> {};

TEST_P(Exchange, CountsWhatCompletedAndClearsWhatWasCancelled) {
    const Case& expected = GetParam();
    sim::Faults faults;
    faults.stalled_writes.push_back({0x1000, 0, expected.stalls});
    const HANDLE handle = attach(std::make_shared<sim::Bootloader>(faults));
    bus().cancels_that_lose_the_race = expected.races_lost;
    bus().cancels_ending_with_an_error = expected.cancel_errors;
    int taken = 0;
    bus().on_wire = [&taken](char, const Report&) { ++taken; };
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED io = iocontext(event);
    Report report{0x00, 'F', '*', 0x00, 0x10};  // block 0x1000, chunk 0
    report.back() = 0xE0;                       // and, read into, an earlier report
    EXPECT_EQ(expected.write ? sendblock(handle, report.data(), &io, event)
                             : getresult(handle, report.data(), &io, event),
              expected.result);
    CloseHandle(event);
    const sim::Accounting& done = bus().accounting();
    EXPECT_EQ(expected.write ? done.writes : done.reads, expected.operations);
    EXPECT_EQ(done.cancels, expected.cancels);
    EXPECT_EQ(taken, expected.taken) << "reports that crossed the wire";
    EXPECT_EQ(bus().now(), expected.elapsed);
    if (!expected.write) {
        EXPECT_EQ(report, Report{});
    }
}

INSTANTIATE_TEST_SUITE_P(Exchange, Exchange, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.name); });

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
