// What the virtual Torvik's driver takes through its control device: a
// reset request is any program's bytes, and only one that the control
// program can make reaches the device core; and the core itself never reads
// past its fault lists, whatever their counts say. (The protocol is tested
// through the simulated bootloader, which runs the same core; the writes it
// holds for the driver, through the virtual Torvik's whole runs.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "block_reports.h"
#include "virtual-torvik/control.h"
#include "common/core_fault_options.h"

namespace {

using devicecore::FAULT_ENTRIES;
// The options' largest count and time, by value: tested against the core's
// own names, a bound would pass whatever it held.
constexpr int COUNT_MAX = 1000000;
constexpr devicecore::Millis A_DAY_MS = 86400000;
using virtualtorvik::Reset;

void takeoption(const char* name, const char* value, devicecore::Faults& faults) {
    ASSERT_EQ(optionvalues::parsecorefault(name, value, faults), optionvalues::FaultOption::TAKEN)
        << name << '=' << value;
}

// The largest reset the options make: every list full, at the options'
// extremes, the last entry of each the most extreme.
std::unique_ptr<Reset> extremes() {
    auto reset = std::make_unique<Reset>();
    devicecore::Faults& faults = reset->faults;
    for (std::size_t i = 0; i < FAULT_ENTRIES; ++i) {
        const bool odd = i % 2 == 1;
        takeoption("--no-ack", odd ? "0xFFFF:all" : "0:1000000", faults);
        takeoption("--wrong-ack", odd ? "0xFFFF:all" : "0:0", faults);
        takeoption("--late-ack", odd ? "0xFFFF:86400000:1000000" : "0:0:all", faults);
        // torvik-sim holds its stalled writes for ever; the control program
        // holds them for a time.
        faults.held_writes.add({0xFFFF, devicecore::CHUNKS - 1,
                                odd ? COUNT_MAX : devicecore::ALWAYS,
                                odd ? A_DAY_MS : devicecore::FOREVER});
    }
    takeoption("--ack-delay", "86400000", faults);
    takeoption("--unplug-after", "0xFFFF", faults);
    faults.write_ms = A_DAY_MS;
    reset->firmware = virtualtorvik::Firmware::NORMAL;
    return reset;
}

bool accepted(const Reset& input, std::size_t length = sizeof(Reset)) {
    auto taken = std::make_unique<Reset>();
    return virtualtorvik::acceptreset(&input, length, *taken);
}

// The options' extremes are taken as they are, no input at all is the
// bootloader without faults, and a request of any other length is refused.
TEST(ResetRequest, TakesWhatTheOptionsMakeOfItsOwnLengthOnly) {
    const auto input = extremes();
    auto taken = std::make_unique<Reset>();
    ASSERT_TRUE(virtualtorvik::acceptreset(input.get(), sizeof(Reset), *taken));
    EXPECT_EQ(std::memcmp(taken.get(), input.get(), sizeof(Reset)), 0);
    std::memset(taken.get(), 0xA5, sizeof(Reset));
    ASSERT_TRUE(virtualtorvik::acceptreset(nullptr, 0, *taken));
    const Reset power_on{};
    EXPECT_EQ(std::memcmp(taken.get(), &power_on, sizeof(Reset)), 0) << "no input";
    for (const std::size_t length : {std::size_t{1}, sizeof(Reset) - 1, sizeof(Reset) + 1}) {
        EXPECT_FALSE(accepted(*input, length)) << length;
    }
    EXPECT_FALSE(virtualtorvik::acceptreset(nullptr, sizeof(Reset), *taken));
}

struct Hostile {
    const char* what;
    void (*spoil)(Reset& reset);
};

constexpr std::size_t LAST = FAULT_ENTRIES - 1;
constexpr std::size_t OVER_FULL = 4096;
constexpr devicecore::Millis LONGEST = std::numeric_limits<devicecore::Millis>::max();

const Hostile HOSTILE[] = {
    {"no_ack's used past its room", [](Reset& r) { r.faults.no_ack.used = FAULT_ENTRIES + 1; }},
    {"wrong_ack's used 4096", [](Reset& r) { r.faults.wrong_ack.used = OVER_FULL; }},
    {"late_ack's used 4096", [](Reset& r) { r.faults.late_ack.used = OVER_FULL; }},
    {"held_writes' used 4096", [](Reset& r) { r.faults.held_writes.used = OVER_FULL; }},
    {"a count below ALWAYS", [](Reset& r) { r.faults.no_ack.entries[LAST].count = -2; }},
    {"a count past the largest",
     [](Reset& r) { r.faults.wrong_ack.entries[LAST].count = COUNT_MAX + 1; }},
    {"the lowest count",
     [](Reset& r) { r.faults.held_writes.entries[LAST].count = std::numeric_limits<int>::min(); }},
    {"a late acknowledgement's negative ms",
     [](Reset& r) { r.faults.late_ack.entries[LAST].ms = -1; }},
    {"a late acknowledgement past a day",
     [](Reset& r) { r.faults.late_ack.entries[LAST].ms = A_DAY_MS + 1; }},
    {"a late acknowledgement's ms INT64_MAX",
     [](Reset& r) { r.faults.late_ack.entries[LAST].ms = LONGEST; }},
    {"no_ack's ms past a day", [](Reset& r) { r.faults.no_ack.entries[LAST].ms = A_DAY_MS + 1; }},
    {"a held write below FOREVER", [](Reset& r) { r.faults.held_writes.entries[LAST].ms = -2; }},
    {"a held write past a day",
     [](Reset& r) { r.faults.held_writes.entries[LAST].ms = A_DAY_MS + 1; }},
    {"a held chunk past a block's",
     [](Reset& r) { r.faults.held_writes.entries[LAST].chunk = devicecore::CHUNKS; }},
    {"an acknowledgement delay INT64_MAX", [](Reset& r) { r.faults.ack_delay_ms = LONGEST; }},
    {"a negative acknowledgement delay", [](Reset& r) { r.faults.ack_delay_ms = -1; }},
    {"a write time past a day", [](Reset& r) { r.faults.write_ms = A_DAY_MS + 1; }},
    {"a negative write time", [](Reset& r) { r.faults.write_ms = -1; }},
    {"the unplug byte 7", [](Reset& r) { std::memset(&r.faults.unplug, 7, 1); }},
    {"firmware 9", [](Reset& r) { r.firmware = static_cast<virtualtorvik::Firmware>(9); }},
};

TEST(ResetRequest, RefusesWhatNoOptionMakes) {
    for (const Hostile& hostile : HOSTILE) {
        SCOPED_TRACE(hostile.what);
        auto input = extremes();
        hostile.spoil(*input);
        EXPECT_FALSE(accepted(*input));
    }
}

std::uint8_t* anyslot(void* block, std::uint16_t) {
    return static_cast<std::uint8_t*>(block);
}

const std::uint8_t* nothingstored(const void*, std::uint16_t) {
    return nullptr;
}

// Faults that bypassed acceptreset: the core reads only its lists' room
// (under the sanitizers, a read past them fails this), and adds no entry
// past it.
TEST(ResetRequest, ACoreGivenOverFullListsStaysWithinThem) {
    auto faults = std::make_unique<devicecore::Faults>();
    faults->no_ack.used = faults->wrong_ack.used = faults->late_ack.used = OVER_FULL;
    faults->held_writes.used = OVER_FULL;
    auto core = std::make_unique<devicecore::Bootloader>();
    std::uint8_t block[devicecore::BLOCK_BYTES];
    core->start(*faults, {block, anyslot, nothingstored});
    devicecore::Outcome outcome{};
    for (const Report& report : blockreports(0x1000)) {
        EXPECT_EQ(core->writeheld(report.data()), 0);
        outcome = core->take(report.data(), 0);
    }
    EXPECT_TRUE(outcome.acknowledge);
    EXPECT_FALSE(faults->no_ack.add({}));
    EXPECT_EQ(faults->no_ack.inuse(), FAULT_ENTRIES);
}

}  // namespace
