#include "platform/sim/bootloader_core.h"

namespace devicecore {

namespace {

constexpr size_t MARKER_OFFSET = 1;
constexpr size_t BLOCK_NUMBER_OFFSET = 3;
constexpr size_t CHUNK_INDEX_OFFSET = 5;
constexpr size_t CHUNK_DATA_OFFSET = 6;
constexpr uint8_t MARKER_FIRST = 'F';
constexpr uint8_t MARKER_CHUNK = '*';
constexpr uint8_t MARKER_ACKNOWLEDGEMENT = '+';
constexpr uint16_t RESTART_BLOCK = 'G';
constexpr uint8_t RESTART_CHUNK = 0xFF;
constexpr size_t FPGA_LENGTH_BYTES = 4;

void copybytes(uint8_t* to, const uint8_t* from, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        to[i] = from[i];
    }
}

uint16_t blocknumber(const uint8_t* report) {
    return static_cast<uint16_t>(report[BLOCK_NUMBER_OFFSET] |
                                 (report[BLOCK_NUMBER_OFFSET + 1] << 8));
}

bool haschunkmarker(const uint8_t* report) {
    return report[MARKER_OFFSET] == MARKER_FIRST && report[MARKER_OFFSET + 1] == MARKER_CHUNK;
}

bool isrestart(const uint8_t* report) {
    return haschunkmarker(report) && blocknumber(report) == RESTART_BLOCK &&
           report[CHUNK_INDEX_OFFSET] == RESTART_CHUNK;
}

// Uses up one of the fault's sendings; whether the fault applies to this one.
bool useone(int& count) {
    if (count == 0) {
        return false;
    }
    // Only a positive count is used up: a negative one other than ALWAYS
    // would run down into an overflow.
    if (count > 0) {
        --count;
    }
    return true;
}

// The first entry for the block that still applies, used up; nullptr if none.
BlockFault* takeone(FaultList<BlockFault>& list, uint16_t block) {
    for (size_t i = 0; i < list.inuse(); ++i) {
        BlockFault& fault = list.entries[i];
        if (fault.block == block && useone(fault.count)) {
            return &fault;
        }
    }
    return nullptr;
}

void buildacknowledgement(uint8_t report[REPORT_BYTES], uint16_t block) {
    for (size_t i = 0; i < REPORT_BYTES; ++i) {
        report[i] = 0;
    }
    report[MARKER_OFFSET] = MARKER_FIRST;
    report[MARKER_OFFSET + 1] = MARKER_ACKNOWLEDGEMENT;
    report[BLOCK_NUMBER_OFFSET] = static_cast<uint8_t>(block & 0xFF);
    report[BLOCK_NUMBER_OFFSET + 1] = static_cast<uint8_t>(block >> 8);
}

// Copies the stored blocks from `first` on, while they follow on, starting
// `skip` bytes in; returns how many bytes the blocks hold after the skip.
size_t copyrun(const BlockStorage& storage, uint16_t first, uint32_t last, size_t skip, uint8_t* to,
               size_t capacity) {
    size_t offset = 0;  // of the run's bytes after the skip
    for (uint32_t block = first; block <= last; ++block) {
        const uint8_t* data = storage.find(storage.context, static_cast<uint16_t>(block));
        if (data == nullptr) {
            break;
        }
        for (size_t i = 0; i < BLOCK_BYTES; ++i) {
            if (skip > 0) {
                --skip;
                continue;
            }
            if (offset < capacity) {
                to[offset] = data[i];
            }
            ++offset;
        }
    }
    return offset;
}

bool countvalid(int count) {
    return count == ALWAYS || (count >= 0 && count <= MAX_FAULT_COUNT);
}

bool msvalid(Millis ms) {
    return ms >= 0 && ms <= MAX_FAULT_MS;
}

bool entryvalid(const BlockFault& fault) {
    return countvalid(fault.count) && msvalid(fault.ms);
}

bool entryvalid(const WriteHold& hold) {
    return countvalid(hold.count) && hold.chunk < CHUNKS &&
           (hold.ms == FOREVER || msvalid(hold.ms));
}

template <typename Entry>
bool listvalid(const FaultList<Entry>& list) {
    if (list.used > FAULT_ENTRIES) {
        return false;
    }
    for (size_t i = 0; i < list.used; ++i) {
        if (!entryvalid(list.entries[i])) {
            return false;
        }
    }
    return true;
}

// Reading a bool whose byte is neither 0 nor 1 is undefined: its byte is
// read instead.
bool boolbytevalid(const bool& flag) {
    return *reinterpret_cast<const unsigned char*>(&flag) <= 1;
}

}  // namespace

bool faultsvalid(const Faults& faults) {
    return listvalid(faults.no_ack) && listvalid(faults.wrong_ack) && listvalid(faults.late_ack) &&
           listvalid(faults.held_writes) && msvalid(faults.ack_delay_ms) &&
           msvalid(faults.write_ms) && boolbytevalid(faults.unplug);
}

void Bootloader::start(const Faults& faults, BlockStorage storage) {
    faults_ = faults;
    storage_ = storage;
    assembling_ = false;
    assembling_block_ = 0;
    next_chunk_ = 0;
    for (uint8_t& byte : frame_) {
        byte = 0;
    }
    bad_frames_ = 0;
    out_of_order_ = 0;
    restarted_ = false;
    unplugged_ = false;
}

uint16_t Bootloader::checksum(const uint8_t data[BLOCK_BYTES]) {
    unsigned sum = 0;
    for (unsigned position = 0; position < BLOCK_BYTES; ++position) {
        if (sum & 0x8000) {
            sum = ((sum ^ position) << 1) & 0xFFFF;
        } else {
            sum = (((sum ^ (~position & 0xFFFF)) << 1) + 1) & 0xFFFF;
        }
        sum = (sum + data[position]) & 0xFFFF;
    }
    return static_cast<uint16_t>(sum);
}

Millis Bootloader::writeheld(const uint8_t report[REPORT_BYTES]) {
    if (haschunkmarker(report) && !isrestart(report)) {
        for (size_t i = 0; i < faults_.held_writes.inuse(); ++i) {
            WriteHold& hold = faults_.held_writes.entries[i];
            if (hold.block == blocknumber(report) && hold.chunk == report[CHUNK_INDEX_OFFSET] &&
                useone(hold.count)) {
                return hold.ms;
            }
        }
    }
    return faults_.write_ms;
}

Outcome Bootloader::take(const uint8_t report[REPORT_BYTES], Millis now) {
    Outcome outcome = {};
    outcome.taken = Taken::OTHER;
    if (!haschunkmarker(report)) {
        return outcome;
    }
    if (isrestart(report)) {
        restarted_ = true;
        outcome.taken = Taken::RESTART;
        return outcome;
    }
    const uint16_t block = blocknumber(report);
    const size_t chunk = report[CHUNK_INDEX_OFFSET];
    if (chunk == 0) {
        // A block sent again starts over, also after a sending that broke off.
        assembling_ = true;
        assembling_block_ = block;
        next_chunk_ = 0;
    }
    if (chunk >= CHUNKS || !assembling_ || assembling_block_ != block || chunk != next_chunk_) {
        ++out_of_order_;
        assembling_ = false;
        outcome.taken = Taken::DROPPED;
        return outcome;
    }
    copybytes(frame_ + chunk * CHUNK_BYTES, report + CHUNK_DATA_OFFSET, CHUNK_BYTES);
    ++next_chunk_;
    outcome.taken = Taken::CHUNK;
    if (next_chunk_ == CHUNKS) {
        assembling_ = false;
        framecomplete(block, now, outcome);
    }
    return outcome;
}

void Bootloader::framecomplete(uint16_t block, Millis now, Outcome& outcome) {
    outcome.block = block;
    const uint16_t sum = checksum(frame_);
    const bool intact = frame_[BLOCK_BYTES] == (sum & 0xFF) &&
                        frame_[BLOCK_BYTES + 1] == (sum >> 8) && frame_[BLOCK_BYTES + 2] == 0 &&
                        frame_[BLOCK_BYTES + 3] == 0;
    if (!intact) {
        ++bad_frames_;
        outcome.taken = Taken::BAD_FRAME;
        return;
    }
    uint8_t* slot = storage_.slot(storage_.context, block);
    if (slot == nullptr) {
        outcome.taken = Taken::NO_ROOM;
        return;
    }
    copybytes(slot, frame_, BLOCK_BYTES);
    outcome.taken = Taken::STORED;
    if (takeone(faults_.no_ack, block) != nullptr) {
        return;
    }
    Millis delay = faults_.ack_delay_ms;
    if (const BlockFault* late = takeone(faults_.late_ack, block)) {
        delay = late->ms;
    }
    const bool wrong = takeone(faults_.wrong_ack, block) != nullptr;
    outcome.acknowledge = true;
    outcome.acknowledge_at = now + delay;
    buildacknowledgement(outcome.acknowledgement, wrong ? static_cast<uint16_t>(block - 1) : block);
}

void Bootloader::delivered(const uint8_t report[REPORT_BYTES]) {
    if (faults_.unplug && report[MARKER_OFFSET] == MARKER_FIRST &&
        report[MARKER_OFFSET + 1] == MARKER_ACKNOWLEDGEMENT &&
        blocknumber(report) == faults_.unplug_after) {
        unplugged_ = true;
    }
}

size_t fpgaimage(const BlockStorage& storage, uint8_t* image, size_t capacity) {
    const uint8_t* first = storage.find(storage.context, FPGA_FIRST_BLOCK);
    if (first == nullptr) {
        return 0;
    }
    size_t length = 0;
    for (size_t i = 0; i < FPGA_LENGTH_BYTES; ++i) {
        length = (length << 8) | first[i];
    }
    const size_t present = copyrun(storage, FPGA_FIRST_BLOCK, 0xFFFF, FPGA_LENGTH_BYTES, image,
                                   capacity < length ? capacity : length);
    return present < length ? 0 : length;
}

size_t mcuimage(const BlockStorage& storage, uint8_t* image, size_t capacity) {
    return copyrun(storage, MCU_FIRST_BLOCK, FPGA_FIRST_BLOCK - 1, 0, image, capacity);
}

}  // namespace devicecore
