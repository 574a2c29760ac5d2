// Writing and reading single reports with time-outs and retries, against a
// peer whose timing each test scripts, on the simulated bus's virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <deque>
#include <optional>
#include <vector>

#include "hid/exchange.h"
#include "sim_fixture.h"

namespace {

using sim::Millis;
using sim::Report;  // REPORT_SIZE bytes
static_assert(sizeof(Report) == REPORT_SIZE);

// Completes each write after the next scripted delay (nullopt: never), then
// after `later`; answers only what a test queues.
class ScriptedPeer : public sim::Device {
  public:
    std::deque<std::optional<Millis>> write_delays;
    std::optional<Millis> later = 0;
    std::vector<Report> taken;
    bool gone = false;

    std::optional<Millis> writestarted(const Report&) override {
        if (write_delays.empty()) {
            return later;
        }
        const auto delay = write_delays.front();
        write_delays.pop_front();
        return delay;
    }
    void reporttaken(const Report& report, Millis) override {
        taken.push_back(report);
    }
    bool unplugged() const override {
        return gone;
    }
    void answer(const Report& report, Millis at) {
        to_host.push_back({at, report});
    }
};

Report pattern(std::uint8_t first) {
    Report report;
    for (std::size_t i = 0; i < report.size(); ++i) {
        report[i] = static_cast<std::uint8_t>(first + i);
    }
    return report;
}

class Exchange : public SimBusTest {
  protected:
    void SetUp() override {
        SimBusTest::SetUp();
        device = attach(peer);
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        io = iocontext(event);
    }
    void TearDown() override {
        CloseHandle(event);
        SimBusTest::TearDown();
    }

    int send(const Report& report) {
        return sendblock(device, report.data(), &io, event);
    }
    int receive(Report& buffer) {
        return getresult(device, buffer.data(), &io, event);
    }
    const sim::Accounting& done() {
        return bus().accounting();
    }

    std::shared_ptr<ScriptedPeer> peer = std::make_shared<ScriptedPeer>();
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED io{};
};

TEST_F(Exchange, AWriteTakenAtOnceNeedsOneTryAndOneWriteFile) {
    const Report report = pattern(0x10);
    EXPECT_EQ(send(report), 1);
    EXPECT_EQ(done().writes, 1);
    EXPECT_EQ(done().cancels, 0);
    EXPECT_EQ(bus().now(), 0);
    ASSERT_EQ(peer->taken.size(), 1u);
    EXPECT_TRUE(std::equal(report.begin(), report.end(), peer->taken[0].begin()));
}

TEST_F(Exchange, AWriteThatNeverCompletesIsTriedThreeTimesAndEndedEachTime) {
    peer->later = std::nullopt;
    EXPECT_EQ(send(pattern(0)), 0);
    EXPECT_EQ(done().writes, 3);
    EXPECT_EQ(done().cancels, 3);
    EXPECT_EQ(bus().now(), 3 * (200 + bus().cancel_latency_ms));
    EXPECT_EQ(bus().pendingoperations(), 0);
    EXPECT_TRUE(peer->taken.empty());

    // The same I/O context and event serve the next operation at once.
    const Report answer = pattern(0x40);
    peer->answer(answer, bus().now());
    Report buffer{};
    EXPECT_EQ(receive(buffer), 1);
    EXPECT_EQ(buffer, answer);
}

TEST_F(Exchange, AWriteStuckOnceIsCancelledAndTheNextTryGoesThrough) {
    peer->write_delays = {std::nullopt};
    EXPECT_EQ(send(pattern(0)), 1);
    EXPECT_EQ(done().writes, 2);
    EXPECT_EQ(done().cancels, 1);
    EXPECT_EQ(peer->taken.size(), 1u);
}

TEST_F(Exchange, AnAnswerAfterTwoAndAHalfSecondsIsSeenByTheSecondRead) {
    const Report answer = pattern(0x80);
    peer->answer(answer, 2500);
    Report buffer{};
    EXPECT_EQ(receive(buffer), 1);
    EXPECT_EQ(done().reads, 2);
    EXPECT_EQ(done().cancels, 1);
    EXPECT_EQ(bus().now(), 2500);
    EXPECT_EQ(buffer, answer);
}

TEST_F(Exchange, NoAnswerAtAllGivesZeroAfterThreeReads) {
    Report buffer = pattern(1);
    EXPECT_EQ(receive(buffer), 0);
    EXPECT_EQ(done().reads, 3);
    EXPECT_EQ(bus().now(), 3 * (2000 + bus().cancel_latency_ms));
}

TEST_F(Exchange, AReadCompletedAsItWasCancelledCountsAsCompletedWithAClearedBuffer) {
    bus().cancels_that_lose_the_race = 1;
    Report buffer = pattern(0xE0);  // an earlier report
    EXPECT_EQ(receive(buffer), 1);
    EXPECT_EQ(done().reads, 1);
    EXPECT_EQ(bus().now(), 2000);
    EXPECT_EQ(buffer, Report{}) << "the read delivered nothing; the old report must be gone";
}

TEST_F(Exchange, AWriteEndingWithAnotherErrorAsItIsCancelledCountsAsCompleted) {
    peer->later = std::nullopt;
    bus().cancels_ending_with_an_error = 1;
    EXPECT_EQ(send(pattern(0)), 1);
    EXPECT_EQ(done().writes, 1);
}

TEST_F(Exchange, AWriteToAnUnpluggedDeviceFailsThoughAnEarlierOperationSignalledTheEvent) {
    ASSERT_EQ(send(pattern(0)), 1);
    ASSERT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "the setting this test needs";
    peer->gone = true;

    EXPECT_EQ(send(pattern(1)), 0);
    Report buffer{};
    EXPECT_EQ(receive(buffer), 0);
    EXPECT_EQ(done().writes, 1 + 3);
    EXPECT_EQ(done().reads, 3);
    EXPECT_EQ(done().cancels, 0) << "nothing was started, so nothing is cancelled";
    EXPECT_EQ(peer->taken.size(), 1u);
}

TEST_F(Exchange, AReadThatDeliversSomethingElseStillCompletes) {
    Report garbage;
    garbage.fill(0xA5);
    peer->answer(garbage, 0);
    Report buffer{};
    EXPECT_EQ(receive(buffer), 1) << "judging the report is the caller's business";
    EXPECT_EQ(buffer, garbage);
}

TEST_F(Exchange, WithoutAnEventNothingIsStarted) {
    Report buffer{};
    EXPECT_EQ(sendblock(device, pattern(0).data(), &io, nullptr), 0);
    EXPECT_EQ(getresult(device, buffer.data(), &io, nullptr), 0);
    EXPECT_EQ(done().writes, 0);
    EXPECT_EQ(done().reads, 0);
}

}  // namespace
