// torvik-gadget's command line. Its fault options are those of torvik-sim
// (tools/common/core_fault_options.h): torvik_sim_test.cpp runs them and
// refuses their malformed numbers. Here what each field becomes, and the
// gadget's own options.
#include <gtest/gtest.h>

#include <tuple>

#include "torvik-gadget/options.h"

namespace {

TEST(GadgetOptions, TakesEachFieldWhereItBelongs) {
    std::string error;
    const auto options = parsegadgetoptions(
        {"--late-ack=5:100:3", "--late-ack=0x1000:6500", "--no-ack=0x1005", "--ack-delay=2500",
         "--unplug-after=0x1010", "--stall=1000:7000", "--device=normal"},
        error);
    ASSERT_TRUE(options.has_value()) << error;
    const auto fields = [](const devicecore::BlockFault& fault) {
        return std::make_tuple(int{fault.block}, fault.count, fault.ms);
    };
    EXPECT_EQ(fields(options->faults.late_ack.entries[0]), std::make_tuple(5, 3, 100L));
    EXPECT_EQ(fields(options->faults.late_ack.entries[1]), std::make_tuple(0x1000, 1, 6500L));
    EXPECT_EQ(fields(options->faults.no_ack.entries[0]),
              std::make_tuple(0x1005, devicecore::ALWAYS, 0L));
    EXPECT_EQ(options->faults.ack_delay_ms, 2500);
    EXPECT_TRUE(options->faults.unplug);
    EXPECT_EQ(options->faults.unplug_after, 0x1010);
    EXPECT_EQ(std::make_pair(options->stall_after, options->stall_ms),
              std::make_pair(1000L, 7000L));
    EXPECT_FALSE(options->bootloader);
}

TEST(GadgetOptions, RefusesTheMalformedNamingThem) {
    // A blank or sign that strtoul would take, too.
    for (const char* refused : {"--no-ack= 6", "--no-ack=-1", "--stall=1000", "--stall=1:2:3",
                                "--device=none", "--udc"}) {
        std::string error;
        EXPECT_FALSE(parsegadgetoptions({refused}, error).has_value()) << refused;
        EXPECT_NE(error.find(refused), std::string::npos) << refused;
    }
}

}  // namespace
