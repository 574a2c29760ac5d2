#include "platform/sim/bootloader.h"

#include <algorithm>
#include <memory>

namespace sim {

namespace {

using StoredBlocks = std::map<std::uint16_t, Bootloader::Block>;

std::uint8_t* slotfor(void* context, std::uint16_t block_number) {
    return (*static_cast<StoredBlocks*>(context))[block_number].data();
}

const std::uint8_t* findstored(const void* context, std::uint16_t block_number) {
    const auto& stored = *static_cast<const StoredBlocks*>(context);
    auto found = stored.find(block_number);
    return found == stored.end() ? nullptr : found->second.data();
}

void addblockfaults(const std::map<std::uint16_t, int>& faults,
                    devicecore::FaultList<devicecore::BlockFault>& list) {
    for (const auto& [block, count] : faults) {
        list.add({block, count, 0});
    }
}

}  // namespace

Bootloader::Bootloader(Faults faults) {
    // The core's faults are large; built on the heap, not the stack.
    auto converted = std::make_unique<devicecore::Faults>(corefaults(faults));
    core_.start(*converted, storage());
}

devicecore::Faults Bootloader::corefaults(const Faults& faults) {
    devicecore::Faults converted{};
    addblockfaults(faults.no_ack, converted.no_ack);
    addblockfaults(faults.wrong_ack, converted.wrong_ack);
    for (const auto& [block, late] : faults.late_ack) {
        converted.late_ack.add({block, late.count, late.ms});
    }
    for (const Faults::Stall& stall : faults.stalled_writes) {
        converted.held_writes.add({stall.block, stall.chunk, stall.count, devicecore::FOREVER});
    }
    converted.ack_delay_ms = faults.ack_delay_ms;
    converted.write_ms = faults.write_ms;
    converted.unplug = faults.unplug_after.has_value();
    converted.unplug_after = faults.unplug_after.value_or(0);
    return converted;
}

devicecore::BlockStorage Bootloader::storage() const {
    // The core writes only through `slot`, which is called from the
    // non-const take(); `find` only reads.
    return {const_cast<StoredBlocks*>(&stored_), slotfor, findstored};
}

std::uint16_t Bootloader::checksum(const std::uint8_t* data) {
    return devicecore::Bootloader::checksum(data);
}

std::optional<Millis> Bootloader::writestarted(const Report& report) {
    const Millis held = core_.writeheld(report.data());
    if (held == devicecore::FOREVER) {
        return std::nullopt;
    }
    return held;
}

void Bootloader::reporttaken(const Report& report, Millis now) {
    const devicecore::Outcome outcome = core_.take(report.data(), now);
    switch (outcome.taken) {
        case devicecore::Taken::BAD_FRAME:
        case devicecore::Taken::STORED:
        case devicecore::Taken::NO_ROOM:
            ++sendings_[outcome.block];
            break;
        default:
            break;
    }
    if (outcome.acknowledge) {
        Report acknowledgement;
        std::copy_n(outcome.acknowledgement, acknowledgement.size(), acknowledgement.begin());
        to_host.push_back({outcome.acknowledge_at, acknowledgement});
    }
}

void Bootloader::reportdelivered(const Report& report) {
    core_.delivered(report.data());
}

int Bootloader::sendings(std::uint16_t block) const {
    auto found = sendings_.find(block);
    return found == sendings_.end() ? 0 : found->second;
}

std::vector<std::uint8_t> Bootloader::fpgaimage() const {
    const devicecore::BlockStorage blocks = storage();
    std::vector<std::uint8_t> image(devicecore::fpgaimage(blocks, nullptr, 0));
    devicecore::fpgaimage(blocks, image.data(), image.size());
    return image;
}

std::vector<std::uint8_t> Bootloader::mcuimage() const {
    const devicecore::BlockStorage blocks = storage();
    std::vector<std::uint8_t> image(devicecore::mcuimage(blocks, nullptr, 0));
    devicecore::mcuimage(blocks, image.data(), image.size());
    return image;
}

}  // namespace sim
