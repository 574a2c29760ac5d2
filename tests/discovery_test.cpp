// Finding the updater among the HID interfaces on the simulated bus.
#include <gtest/gtest.h>

#include "hid/discovery.h"
#include "sim_fixture.h"

namespace {

constexpr std::uint16_t VENDOR = 0x29A3;
constexpr std::uint16_t PRODUCT = 0x0006;

sim::Interface torvik(const std::string& path, const std::u16string& string4,
                      std::uint16_t version = 0x0100) {
    sim::Interface interface { path };
    interface.vendor_id = VENDOR;
    interface.product_id = PRODUCT;
    interface.version = version;
    interface.string4 = string4;
    return interface;
}

sim::Interface other(const std::string& path) {
    sim::Interface interface { path };
    interface.vendor_id = 0x046D;
    interface.product_id = 0xC077;
    interface.string4 = u"FW but another maker's";
    return interface;
}

class Discovery : public SimBusTest {
  protected:
    // Runs the search the updater runs and says which interface it returned.
    std::string find(int version = 0) {
        HANDLE device = connectToUSBHIDDevice(VENDOR, PRODUCT, version);
        if (device == INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(bus().openpaths().empty()) << "a handle was left open";
            return "";
        }
        const auto open = bus().openpaths();
        EXPECT_EQ(open.size(), 1u) << "only the returned handle may stay open";
        CloseHandle(device);
        return open.empty() ? "?" : open.front();
    }
};

TEST_F(Discovery, PassesOverTheDeviceRunningItsFirmwareForTheBootloader) {
    bus().add(other("mouse"));
    bus().add(torvik("running", u"Torvik 2.3"));
    bus().add(torvik("bootloader", u"FW"));
    EXPECT_EQ(find(), "bootloader");
    EXPECT_EQ(bus().accounting().handles_opened, 3);
}

TEST_F(Discovery, ComparesOnlyTheLowBytesOfTheFirstTwoCodeUnits) {
    bus().add(torvik("high bytes set", std::u16string{char16_t(0x0146), char16_t(0x2057)}));
    EXPECT_EQ(find(), "high bytes set");
}

TEST_F(Discovery, NothingMatchesAOneCharacterString) {
    bus().add(torvik("short", u"F"));
    EXPECT_EQ(find(), "");
}

TEST_F(Discovery, NothingMatchesAnEmptyOrUnreadableString) {
    bus().add(torvik("empty", u""));
    sim::Interface unreadable = torvik("unreadable", u"FW");
    unreadable.string4.reset();
    bus().add(unreadable);
    EXPECT_EQ(find(), "");
    EXPECT_EQ(bus().accounting().handles_opened, 2);
}

TEST_F(Discovery, ReadsTheMarkerOnlyFromMatchingIdsIntoAnEightByteBuffer) {
    bus().add(other("mouse"));
    bus().add(torvik("bootloader", u"FW"));
    EXPECT_EQ(find(), "bootloader");
    const auto& reads = bus().accounting().string4_reads;
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].path, "bootloader");
    EXPECT_EQ(reads[0].buffer_size, 8u);
}

TEST_F(Discovery, VersionZeroAcceptsAnyVersionAnOtherOnlyItself) {
    bus().add(torvik("v1.00", u"FW", 0x0100));
    bus().add(torvik("v2.00", u"FW", 0x0200));
    EXPECT_EQ(find(0), "v1.00");
    EXPECT_EQ(find(0x0200), "v2.00");
    EXPECT_EQ(find(0x0300), "");
}

TEST_F(Discovery, ArgumentsOutsideSixteenBitsMatchNothing) {
    bus().add(torvik("bootloader", u"FW"));
    EXPECT_EQ(connectToUSBHIDDevice(VENDOR + 0x10000, PRODUCT, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(connectToUSBHIDDevice(VENDOR, PRODUCT, 0x10100 /* 0x0100 + 2^16 */),
              INVALID_HANDLE_VALUE);
    EXPECT_TRUE(bus().openpaths().empty());
}

TEST_F(Discovery, SkipsAnInterfaceThatCannotBeOpenedAndAdvancesThePosition) {
    sim::Interface keyboard = other("keyboard");
    keyboard.can_open = false;
    bus().add(keyboard);
    bus().add(torvik("bootloader", u"FW"));

    int position = 0;
    HANDLE device = connectToIthUSBHIDDevice(position);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(position, 1);
    EXPECT_EQ(bus().openpaths(), std::vector<std::string>{"bootloader"});
    CloseHandle(device);
    EXPECT_EQ(find(), "bootloader");
}

TEST_F(Discovery, EnumerationEndingGivesNoHandleAndLeavesNothingBehind) {
    bus().add(other("mouse"));
    int position = 1;
    EXPECT_EQ(connectToIthUSBHIDDevice(position), INVALID_HANDLE_VALUE);
    EXPECT_EQ(find(), "");
}

// Failures that end the whole search, even with the updater further on.
struct SearchEnder {
    const char* name;
    void (*breakit)(sim::Interface&);
};

void PrintTo(const SearchEnder& ender, std::ostream* out) {
    *out << ender.name;
}

class SearchEnds : public Discovery, public ::testing::WithParamInterface<SearchEnder> {};

TEST_P(SearchEnds, BeforeTheUpdaterFurtherOn) {
    sim::Interface broken = other("broken");
    GetParam().breakit(broken);
    bus().add(broken);
    bus().add(torvik("bootloader", u"FW"));
    EXPECT_EQ(find(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Discovery, SearchEnds,
    ::testing::Values(
        SearchEnder{"DetailUnreadable", [](sim::Interface& i) { i.detail_readable = false; }},
        SearchEnder{"DetailSizeUnknown", [](sim::Interface& i) { i.size_reported = false; }},
        SearchEnder{"AttributesUnreadable",
                    [](sim::Interface& i) { i.attributes_readable = false; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Discovery, AFailedAllocationEndsTheSearch) {
    bus().add(torvik("bootloader", u"FW"));
    bus().allocation_fails = true;
    EXPECT_EQ(find(), "");
    EXPECT_EQ(bus().accounting().sets_built, 1);
}

TEST_F(Discovery, ASetThatCannotBeBuiltCountsAsEmpty) {
    bus().add(torvik("bootloader", u"FW"));
    bus().set_cannot_be_built = true;
    EXPECT_EQ(find(), "");
    EXPECT_EQ(bus().accounting().sets_built, 0);
}

TEST_F(Discovery, EveryCallBuildsAndDestroysItsOwnSet) {
    bus().add(other("mouse"));
    bus().add(torvik("running", u"Torvik"));
    bus().add(torvik("bootloader", u"FW"));
    EXPECT_EQ(find(), "bootloader");
    EXPECT_EQ(bus().accounting().sets_built, 3);
    EXPECT_EQ(bus().accounting().records_allocated, 3);
}

}  // namespace
