// torvik-gadget's command line: the fault options it shares with the virtual
// Torvik's control program (tools/common/core_fault_options.h) and its own.
#include <gtest/gtest.h>

#include <functional>

#include "torvik-gadget/options.h"

namespace {

using devicecore::ALWAYS;

struct OptionCase {
    const char* argument;
    // nullptr: refused
    std::function<void(const GadgetOptions&)> check;
};

void expectfault(const devicecore::FaultList<devicecore::BlockFault>& list, uint16_t block,
                 int count, devicecore::Millis ms) {
    ASSERT_EQ(list.used, 1u);
    EXPECT_EQ(list.entries[0].block, block);
    EXPECT_EQ(list.entries[0].count, count);
    EXPECT_EQ(list.entries[0].ms, ms);
}

const OptionCase OPTION_CASES[] = {
    {"--no-ack=0x1005", [](auto& o) { expectfault(o.faults.no_ack, 0x1005, ALWAYS, 0); }},
    {"--no-ack=6:2", [](auto& o) { expectfault(o.faults.no_ack, 6, 2, 0); }},
    {"--wrong-ack=7:all", [](auto& o) { expectfault(o.faults.wrong_ack, 7, ALWAYS, 0); }},
    {"--late-ack=0x1000:6500", [](auto& o) { expectfault(o.faults.late_ack, 0x1000, 1, 6500); }},
    {"--late-ack=5:100:3", [](auto& o) { expectfault(o.faults.late_ack, 5, 3, 100); }},
    {"--ack-delay=2500", [](auto& o) { EXPECT_EQ(o.faults.ack_delay_ms, 2500); }},
    {"--unplug-after=0x1010",
     [](auto& o) {
         EXPECT_TRUE(o.faults.unplug);
         EXPECT_EQ(o.faults.unplug_after, 0x1010);
     }},
    {"--stall=1000:7000",
     [](auto& o) {
         EXPECT_EQ(o.stall_after, 1000);
         EXPECT_EQ(o.stall_ms, 7000);
     }},
    {"--device=normal", [](auto& o) { EXPECT_FALSE(o.bootloader); }},
    {"--no-ack=", nullptr},
    {"--no-ack= 6", nullptr},  // a blank or sign that strtoul would take
    {"--no-ack=-1", nullptr},
    {"--no-ack=0x1g", nullptr},
    {"--no-ack=0x10000", nullptr},
    {"--no-ack=5:2:1", nullptr},
    {"--no-ack=5:some", nullptr},
    {"--late-ack=5", nullptr},
    {"--ack-delay=-1", nullptr},
    {"--unplug-after=x", nullptr},
    {"--stall=1000", nullptr},
    {"--stall=1:2:3", nullptr},
    {"--device=none", nullptr},
    {"--udc", nullptr},
};

TEST(GadgetOptions, TakesTheSharedFaultsAndItsOwnRefusesTheMalformed) {
    for (const OptionCase& option_case : OPTION_CASES) {
        SCOPED_TRACE(option_case.argument);
        std::string error;
        const auto options = parsegadgetoptions({option_case.argument}, error);
        ASSERT_EQ(options.has_value(), option_case.check != nullptr) << error;
        if (options) {
            option_case.check(*options);
        } else {
            EXPECT_NE(error.find(option_case.argument), std::string::npos);
        }
    }
}

}  // namespace
