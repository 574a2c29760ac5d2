#include "platform/sim/torvik.h"

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

// The report ID and the bytes after a report's content are zero in what the
// host sends: the chunk's last byte, everything after the restart's index.
bool zeropadded(const Report& report, devicecore::Taken taken) {
    const std::size_t content_end = taken == devicecore::Taken::RESTART ? 6 : 63;
    return report[0] == 0 &&
           std::all_of(report.begin() + content_end, report.end(), [](int b) { return b == 0; });
}

std::uint16_t blocknumber(const Report& report) {
    return static_cast<std::uint16_t>(report[3] | (report[4] << 8));
}

bool ischunk(const Report& report) {
    return report[1] == 'F' && report[2] == '*' && report[5] < devicecore::CHUNKS;
}

// Counts one use of a fault; false when it has none left.
template <typename Fault>
bool useone(Fault& fault) {
    if (fault.count == 0) {
        return false;
    }
    if (fault.count != Faults::ALWAYS) {
        --fault.count;
    }
    return true;
}

}  // namespace

Bootloader::Bootloader(Faults faults)
    : foreign_ack_(std::move(faults.foreign_ack)), unplug_at_(faults.unplug_at) {
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
    if (unplug_at_ && ischunk(report) && blocknumber(report) == unplug_at_->block &&
        report[5] == unplug_at_->chunk) {
        unplugged_at_chunk_ = true;
        return std::nullopt;
    }
    const Millis held = core_.writeheld(report.data());
    if (held == devicecore::FOREVER) {
        return std::nullopt;
    }
    return held;
}

void Bootloader::reporttaken(const Report& report, Millis now) {
    const devicecore::Outcome outcome = core_.take(report.data(), now);
    if (outcome.taken != devicecore::Taken::OTHER && !zeropadded(report, outcome.taken)) {
        ++malformed_;
    }
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
        answerforeign(outcome.block, acknowledgement);
        to_host.push_back({outcome.acknowledge_at, acknowledgement});
    }
}

// Only an answer that names its own block is replaced: a wrong
// acknowledgement, when one applies, comes first.
void Bootloader::answerforeign(std::uint16_t block, Report& acknowledgement) {
    auto foreign = foreign_ack_.find(block);
    if (blocknumber(acknowledgement) != block || foreign == foreign_ack_.end() ||
        !useone(foreign->second)) {
        return;
    }
    acknowledgement[3] = static_cast<std::uint8_t>(foreign->second.answered_as & 0xFF);
    acknowledgement[4] = static_cast<std::uint8_t>(foreign->second.answered_as >> 8);
}

void Bootloader::reportdelivered(const Report& report) {
    if (report[1] == 'F' && report[2] == '+') {
        acknowledged_.insert(blocknumber(report));
    }
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
