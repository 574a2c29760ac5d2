// What the device core does only for the virtual Torvik driver: writes held
// for a time, and storage that can run out. The protocol itself is tested
// through the simulated bootloader, which runs the same core.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "platform/sim/bootloader_core.h"
#include "protocol/flash2k.h"

namespace {

using Report = std::array<std::uint8_t, devicecore::REPORT_BYTES>;

std::vector<Report> blockreports(std::uint16_t block_number) {
    std::array<std::uint8_t, BLOCK_SIZE> data{};
    std::uint8_t frame[FRAME_SIZE];
    buildframe(frame, data.data(), data.size());
    std::vector<Report> reports(CHUNKS_PER_FRAME);
    for (std::size_t chunk = 0; chunk < CHUNKS_PER_FRAME; ++chunk) {
        buildchunkheader(reports[chunk].data(), block_number);
        setchunk(reports[chunk].data(), chunk, frame);
    }
    return reports;
}

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
