// torvik-sim's command line: what each good one sets up, and what is refused.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "sim_options.h"

namespace {

// Every field of the options in one line, so that a mismatch shows whole.
std::string describe(const SimOptions& options) {
    std::ostringstream text;
    const sim::Faults& faults = options.faults;
    text << "device=" << static_cast<int>(options.device) << " no_ack={";
    for (const auto& [block, count] : faults.no_ack) {
        text << block << ':' << count << ' ';
    }
    text << "} wrong_ack={";
    for (const auto& [block, count] : faults.wrong_ack) {
        text << block << ':' << count << ' ';
    }
    text << "} stalls={";
    for (const auto& stall : faults.stalled_writes) {
        text << stall.block << ':' << int{stall.chunk} << ':' << stall.count << ' ';
    }
    text << "} late_ack={";
    for (const auto& [block, late] : faults.late_ack) {
        text << block << ':' << late.ms << ':' << late.count << ' ';
    }
    text << "} ack_delay=" << faults.ack_delay_ms << " write_ms=" << faults.write_ms
         << " unplug_after=" << (faults.unplug_after ? std::to_string(*faults.unplug_after) : "-")
         << " save=" << options.save_dir.value_or("-")
         << " trace=" << options.trace_file.value_or("-") << " help=" << options.help;
    return text.str();
}

struct GoodLine {
    std::vector<std::string> args;
    std::function<void(SimOptions&)> differs;  // from the defaults
};

constexpr int ALL = sim::Faults::ALWAYS;

TEST(SimOptions, GoodCommandLinesSetWhatTheySay) {
    const GoodLine lines[] = {
        {{}, [](SimOptions&) {}},
        {{"--device=normal"}, [](SimOptions& o) { o.device = SimDevice::NORMAL; }},
        {{"--device=none"}, [](SimOptions& o) { o.device = SimDevice::NONE; }},
        {{"--no-ack=6"}, [](SimOptions& o) { o.faults.no_ack[6] = ALL; }},
        {{"--no-ack=0x1000:2"}, [](SimOptions& o) { o.faults.no_ack[0x1000] = 2; }},
        {{"--no-ack=0X10fb:all"}, [](SimOptions& o) { o.faults.no_ack[0x10FB] = ALL; }},
        {{"--wrong-ack=0x1001:1"}, [](SimOptions& o) { o.faults.wrong_ack[0x1001] = 1; }},
        {{"--stall-write=4:35:3", "--stall-write=5:0x0:all"},
         [](SimOptions& o) {
             o.faults.stalled_writes.push_back({4, 35, 3});
             o.faults.stalled_writes.push_back({5, 0, ALL});
         }},
        {{"--ack-delay=2500"}, [](SimOptions& o) { o.faults.ack_delay_ms = 2500; }},
        {{"--late-ack=0x1000:6500", "--late-ack=4:10:all"},
         [](SimOptions& o) {
             o.faults.late_ack[0x1000] = {6500, 1};
             o.faults.late_ack[4] = {10, ALL};
         }},
        {{"--unplug-after=0x1010"}, [](SimOptions& o) { o.faults.unplug_after = 0x1010; }},
        {{"--save=out/dir", "--trace=t.txt"},
         [](SimOptions& o) {
             o.save_dir = "out/dir";
             o.trace_file = "t.txt";
         }},
        {{"--no-ack=6:1", "--no-ack=6:2"}, [](SimOptions& o) { o.faults.no_ack[6] = 2; }},
    };
    for (const GoodLine& line : lines) {
        SimOptions expected;
        line.differs(expected);
        std::string error;
        const auto options = parsesimoptions(line.args, error);
        const std::string shown = ::testing::PrintToString(line.args);
        ASSERT_TRUE(options) << shown << ": " << error;
        EXPECT_EQ(describe(*options), describe(expected)) << shown;
    }
}

TEST(SimOptions, BadCommandLinesAreRefusedNamingTheArgument) {
    const std::vector<std::string> bad[] = {
        {"--bogus"},
        {"extra"},
        {"--device=Bootloader"},
        {"--no-ack="},
        {"--no-ack=65536"},  // block numbers have 16 bits
        {"--no-ack=-1"},
        {"--no-ack= 6"},
        {"--no-ack=0x1g"},
        {"--no-ack=6:1:2"},
        {"--no-ack=6:some"},
        {"--stall-write=0x1000"},     // the chunk is not optional
        {"--stall-write=0x1000:36"},  // chunks are 0 to 35
        {"--ack-delay=1.5"},
        {"--late-ack=0x1000"},  // the delay is not optional
        {"--unplug-after=all"},
        {"--save="},
        {"--device=none", "--no-ack=x"},
    };
    for (const auto& args : bad) {
        std::string error;
        EXPECT_FALSE(parsesimoptions(args, error)) << ::testing::PrintToString(args);
        EXPECT_NE(error.find("'" + args.back() + "'"), std::string::npos)
            << ::testing::PrintToString(args) << ": " << error;
    }
}

}  // namespace
