// What the device core does only for the virtual Torvik driver: writes held
// for a time, and storage that can run out. The protocol itself is tested
// through the simulated bootloader, which runs the same core.
#include <gtest/gtest.h>

#include <memory>

#include "block_reports.h"

namespace {

// Storage with no room at all.
std::uint8_t* noroom(void*, std::uint16_t) {
    return nullptr;
}

const std::uint8_t* nothingstored(const void*, std::uint16_t) {
    return nullptr;
}

TEST(BootloaderCore, HoldsTheNamedWriteItsTimeAsOftenAsToldThenTakesItAtOnce) {
    auto faults = std::make_unique<devicecore::Faults>();
    faults->held_writes.add({0x1000, 3, 1, 1500});
    auto core = std::make_unique<devicecore::Bootloader>();
    core->start(*faults, {nullptr, noroom, nothingstored});
    const std::vector<Report> reports = blockreports(0x1000);

    EXPECT_EQ(core->writeheld(reports[2].data()), 0);
    EXPECT_EQ(core->writeheld(reports[3].data()), 1500);
    EXPECT_EQ(core->writeheld(reports[3].data()), 0);
}

TEST(BootloaderCore, AnIntactBlockWithoutRoomIsNotAcknowledged) {
    auto faults = std::make_unique<devicecore::Faults>();
    auto core = std::make_unique<devicecore::Bootloader>();
    core->start(*faults, {nullptr, noroom, nothingstored});
    devicecore::Outcome outcome{};
    for (const Report& report : blockreports(0x1000)) {
        outcome = core->take(report.data(), 0);
    }
    EXPECT_EQ(outcome.taken, devicecore::Taken::NO_ROOM);
    EXPECT_FALSE(outcome.acknowledge);
}

}  // namespace
