// flash2k writing one block against a device that answers whatever it
// likes, whenever it likes, on the simulated bus's virtual clock.
//
// The input, read as the device needs it: block number (2), data length (2,
// modulo 2,100: some too long), how many reports wait before the block
// (modulo 4), each a report; then for each write the program starts: its
// time to complete (1 byte, 255 never), and once taken, whether the device
// answers (bit 0; bit 1 a second answer) with a report. A report: kind, ms
// until it is ready, then by kind: 0 this block's acknowledgement, 1 that of
// a block number (2), 2 any 64 bytes.
// After flash2k the bus must have seen no broken platform rule and hold no
// pending operation, a block longer than the frame carries must have been
// refused before any write, and a confirmed block must have been confirmed
// by the last report the program read.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "field_input.h"
#include "platform/sim/bus.h"
#include "protocol/flash2k.h"

namespace {

using sim::Millis;
using sim::Report;

constexpr char PATH[] = "fuzz-torvik";
constexpr std::uint8_t NEVER = 0xFF;
constexpr std::size_t LENGTH_RANGE = BLOCK_SIZE + 52;

std::uint8_t data_bytes[LENGTH_RANGE];  // the device takes no notice of them

Report acknowledgement(std::uint16_t block) {
    return Report{0, MARKER_F, MARKER_ACK, static_cast<std::uint8_t>(block & 0xFF),
                  static_cast<std::uint8_t>(block >> 8)};
}

struct FuzzDevice : sim::Device {
    FuzzDevice(FieldInput& input, std::uint16_t block) : input_(input), block_(block) {}

    std::optional<Millis> writestarted(const Report&) override {
        const std::uint8_t ms = input_.byte();
        return ms == NEVER ? std::nullopt : std::optional<Millis>(ms);
    }

    void reporttaken(const Report&, Millis now) override {
        for (int left = __builtin_popcount(input_.byte() & 3); left > 0; --left) {
            answer(now);
        }
    }

    void answer(Millis now) {
        const std::uint8_t kind = input_.byte() % 3;
        const Millis ready_at = now + input_.byte();
        Report report{};
        if (kind < 2) {
            report = acknowledgement(kind == 0 ? block_ : input_.word());
        } else {
            for (std::uint8_t& byte : report) {
                byte = input_.byte();
            }
        }
        to_host.push_back({ready_at, report});
    }

    FieldInput& input_;
    std::uint16_t block_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // flash2k prints a dot for each confirmed block: not for libFuzzer's log.
    require(std::freopen("/dev/null", "w", stdout) != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FieldInput input{data, size};
    const std::uint16_t block = input.word();
    const std::size_t length = input.word() % LENGTH_RANGE;
    auto device = std::make_shared<FuzzDevice>(input, block);
    for (int stale = input.byte() % 4; stale > 0; --stale) {
        device->answer(0);
    }
    sim::Bus& bus = sim::bus();
    bus.reset();
    sim::Interface interface(PATH);
    interface.device = device;
    bus.add(interface);
    Report last_read{};
    bus.on_wire = [&last_read](char direction, const Report& report) {
        if (direction == '<') {
            last_read = report;
        }
    };

    HANDLE handle =
        CreateFileA(PATH, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    require(handle != INVALID_HANDLE_VALUE);
    const int confirmed = flash2k(handle, block, data_bytes, length);
    require(bus.violations().empty());
    require(bus.pendingoperations() == 0);
    require(bus.accounting().events_created == bus.accounting().events_closed);
    require(length <= BLOCK_SIZE || (!confirmed && bus.accounting().writes == 0));
    const Report confirmation = acknowledgement(block);
    require(!confirmed || std::equal(&confirmation[1], &confirmation[5], &last_read[1]));
    CloseHandle(handle);
    return 0;
}
