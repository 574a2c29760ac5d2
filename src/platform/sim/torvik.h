// The simulated Torvik, in bootloader mode: the updater's peer on the simulated bus.
//
// The protocol itself is the device core's (device/bootloader_core.h), the
// same one the virtual Torvik driver runs; this class connects it to the bus
// and keeps what tests look at in ordinary containers. It lives with the bus,
// not with the core: virtual time, answers queued on the bus, and the faults
// only a simulated bus can stage (stalled writes, answers as another block)
// are the bus's, and none of it could run in the kernel driver.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "device/bootloader_core.h"
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
    struct Foreign {
        std::uint16_t answered_as;
        int count;
    };
    struct Chunk {
        std::uint16_t block;
        std::uint8_t chunk;
    };
    std::map<std::uint16_t, int> no_ack;     // complete sendings left unanswered
    std::map<std::uint16_t, int> wrong_ack;  // answered with the previous block's number
    std::vector<Stall> stalled_writes;       // writes of a chunk that never complete
    std::map<std::uint16_t, Late> late_ack;  // answered `ms` after the last chunk
    // Answered with the acknowledgement of `answered_as` (say, a number that
    // differs only in its high byte); wrong_ack, when it applies, comes first.
    std::map<std::uint16_t, Foreign> foreign_ack;
    Millis ack_delay_ms = 0;
    Millis write_ms = 0;
    std::optional<std::uint16_t> unplug_after;  // gone once this block's ack is read
    std::optional<Chunk> unplug_at;  // gone as this chunk's write starts; it never completes
};

class Bootloader : public Device {
  public:
    static constexpr std::size_t BLOCK_BYTES = 2048;
    using Block = std::array<std::uint8_t, BLOCK_BYTES>;

    explicit Bootloader(Faults faults = {});
    // The core keeps a pointer to the stored blocks: the device stays put.
    Bootloader(const Bootloader&) = delete;
    Bootloader& operator=(const Bootloader&) = delete;

    std::optional<Millis> writestarted(const Report& report) override;
    void reporttaken(const Report& report, Millis now) override;
    void reportdelivered(const Report& report) override;
    bool unplugged() const override {
        return core_.unplugged() || unplugged_at_chunk_;
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
    // Block numbers of the acknowledgements that reads have taken.
    const std::set<std::uint16_t>& acknowledged() const {
        return acknowledged_;
    }
    // Complete frames received for a block, accepted or not.
    int sendings(std::uint16_t block) const;
    // Frames whose checksum or trailing zeros were wrong.
    int badframes() const {
        return core_.badframes();
    }
    // Reports with a report ID or padding that is not zero.
    int malformed() const {
        return malformed_;
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
    void answerforeign(std::uint16_t block, Report& acknowledgement);

    devicecore::Bootloader core_;
    std::map<std::uint16_t, Block> stored_;
    std::map<std::uint16_t, int> sendings_;
    std::set<std::uint16_t> acknowledged_;
    std::map<std::uint16_t, Faults::Foreign> foreign_ack_;
    std::optional<Faults::Chunk> unplug_at_;
    bool unplugged_at_chunk_ = false;
    int malformed_ = 0;
};

}  // namespace sim
