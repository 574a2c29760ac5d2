// A simulated Torvik bootloader: the updater's peer on the simulated bus.
//
// The protocol itself is the device core's (bootloader_core.h), the same
// one the virtual Torvik driver runs; this class connects it to the bus and
// keeps what tests look at in ordinary containers.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "platform/sim/bootloader_core.h"
#include "platform/sim/bus.h"

namespace sim {

// Ways the device can be told to misbehave. Counts are how many sendings or
// writes are affected; ALWAYS affects every one.
struct Faults {
    static constexpr int ALWAYS = -1;
    struct Stall {
        std::uint16_t block;
        std::uint8_t chunk;
        int count;
    };
    struct Late {
        Millis ms;
        int count;
    };
    std::map<std::uint16_t, int> no_ack;     // complete sendings left unanswered
    std::map<std::uint16_t, int> wrong_ack;  // answered with the previous block's number
    std::vector<Stall> stalled_writes;       // writes of a chunk that never complete
    std::map<std::uint16_t, Late> late_ack;  // answered `ms` after the last chunk
    Millis ack_delay_ms = 0;
    Millis write_ms = 0;
    std::optional<std::uint16_t> unplug_after;  // gone once this block's ack is read
};

class Bootloader : public Device {
  public:
    static constexpr std::size_t BLOCK_BYTES = 2048;
    using Block = std::array<std::uint8_t, BLOCK_BYTES>;

    explicit Bootloader(Faults faults = {});

    std::optional<Millis> writestarted(const Report& report) override;
    void reporttaken(const Report& report, Millis now) override;
    void reportdelivered(const Report& report) override;
    bool unplugged() const override {
        return core_.unplugged();
    }

    // What the device stored, by block number.
    const std::map<std::uint16_t, Block>& stored() const {
        return stored_;
    }
    // The FPGA image as stored: the blocks from 0x1000 on, without the length
    // field, cut to that length (empty if the blocks do not reach it).
    std::vector<std::uint8_t> fpgaimage() const;
    // The MCU image as stored: the blocks from 4 on, while they follow on.
    std::vector<std::uint8_t> mcuimage() const;

    bool restarted() const {
        return core_.restarted();
    }
    // Complete frames received for a block, accepted or not.
    int sendings(std::uint16_t block) const;
    // Frames whose checksum or trailing zeros were wrong.
    int badframes() const {
        return core_.badframes();
    }
    // Chunks that arrived out of order and dropped the block being assembled.
    int outoforder() const {
        return core_.outoforder();
    }

    // The device's checksum of a block's data, as the bootloader computes it.
    static std::uint16_t checksum(const std::uint8_t* data);

    // The device core's faults for these (devicecore::FAULT_ENTRIES of each kind
    // at most; more are left out).
    static devicecore::Faults corefaults(const Faults& faults);

  private:
    devicecore::BlockStorage storage() const;

    devicecore::Bootloader core_;
    std::map<std::uint16_t, Block> stored_;
    std::map<std::uint16_t, int> sendings_;
};

}  // namespace sim
