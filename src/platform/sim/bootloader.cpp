#include "platform/sim/bootloader.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr std::size_t CHUNK_BYTES = 57;
constexpr std::size_t CHUNKS = 36;
constexpr std::uint16_t FPGA_FIRST = 0x1000;
constexpr std::uint16_t MCU_FIRST = 4;

std::uint16_t blocknumber(const Report& report) {
    return static_cast<std::uint16_t>(report[3] | (report[4] << 8));
}

bool ischunkmarker(const Report& report) {
    return report[1] == 'F' && report[2] == '*';
}

bool isrestart(const Report& report) {
    return ischunkmarker(report) && report[3] == 'G' && report[4] == 0 && report[5] == 0xFF;
}

// The report ID and the bytes after a report's content are zero in what the
// host sends: the chunk's last byte, everything after the restart's index.
bool zeropadded(const Report& report, bool restart) {
    return report[0] == 0 && std::all_of(report.begin() + (restart ? 6 : 63), report.end(),
                                         [](int b) { return b == 0; });
}

}  // namespace

Bootloader::Bootloader(Faults faults) : faults_(std::move(faults)) {}

std::uint16_t Bootloader::checksum(const std::uint8_t* data) {
    unsigned sum = 0;
    for (unsigned position = 0; position < BLOCK_BYTES; ++position) {
        if (sum & 0x8000) {
            sum = ((sum ^ position) << 1) & 0xFFFF;
        } else {
            sum = (((sum ^ (~position & 0xFFFF)) << 1) + 1) & 0xFFFF;
        }
        sum = (sum + data[position]) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(sum);
}

bool Bootloader::takeone(std::map<std::uint16_t, int>& counts, std::uint16_t block) {
    auto found = counts.find(block);
    if (found == counts.end() || found->second == 0) {
        return false;
    }
    if (found->second != Faults::ALWAYS) {
        --found->second;
    }
    return true;
}

std::optional<Millis> Bootloader::writestarted(const Report& report) {
    if (faults_.unplug_at && ischunkmarker(report) && !isrestart(report) &&
        faults_.unplug_at->block == blocknumber(report) && faults_.unplug_at->chunk == report[5]) {
        unplugged_ = true;
        return std::nullopt;
    }
    if (ischunkmarker(report) && !isrestart(report)) {
        for (Faults::Stall& stall : faults_.stalled_writes) {
            if (stall.block == blocknumber(report) && stall.chunk == report[5] &&
                stall.count != 0) {
                if (stall.count != Faults::ALWAYS) {
                    --stall.count;
                }
                return std::nullopt;
            }
        }
    }
    return faults_.write_ms;
}

void Bootloader::reporttaken(const Report& report, Millis now) {
    if (!ischunkmarker(report)) {
        return;
    }
    if (!zeropadded(report, isrestart(report))) {
        ++malformed_;
    }
    if (isrestart(report)) {
        restarted_ = true;
        return;
    }
    const std::uint16_t block = blocknumber(report);
    const std::size_t chunk = report[5];
    if (chunk == 0) {
        // A block sent again starts over, also after a sending that broke off.
        assembling_ = block;
        next_chunk_ = 0;
    }
    if (chunk >= CHUNKS || assembling_ != block || chunk != next_chunk_) {
        ++out_of_order_;
        assembling_.reset();
        return;
    }
    std::memcpy(frame_.data() + chunk * CHUNK_BYTES, report.data() + 6, CHUNK_BYTES);
    ++next_chunk_;
    if (next_chunk_ == CHUNKS) {
        assembling_.reset();
        framecomplete(block, now);
    }
}

void Bootloader::framecomplete(std::uint16_t block, Millis now) {
    ++sendings_[block];
    const std::uint16_t sum = checksum(frame_.data());
    const bool intact = frame_[BLOCK_BYTES] == (sum & 0xFF) &&
                        frame_[BLOCK_BYTES + 1] == (sum >> 8) && frame_[BLOCK_BYTES + 2] == 0 &&
                        frame_[BLOCK_BYTES + 3] == 0;
    if (!intact) {
        ++bad_frames_;
        return;
    }
    std::copy_n(frame_.begin(), BLOCK_BYTES, stored_[block].begin());
    if (takeone(faults_.no_ack, block)) {
        return;
    }
    Millis delay = faults_.ack_delay_ms;
    auto late = faults_.late_ack.find(block);
    if (late != faults_.late_ack.end() && late->second.count != 0) {
        if (late->second.count != Faults::ALWAYS) {
            --late->second.count;
        }
        delay = late->second.ms;
    }
    const Millis at = now + delay;
    std::uint16_t answered = block;
    auto foreign = faults_.foreign_ack.find(block);
    if (takeone(faults_.wrong_ack, block)) {
        answered = static_cast<std::uint16_t>(block - 1);
    } else if (foreign != faults_.foreign_ack.end() && foreign->second.count != 0) {
        if (foreign->second.count != Faults::ALWAYS) {
            --foreign->second.count;
        }
        answered = foreign->second.answered_as;
    }
    acknowledge(answered, at);
}

void Bootloader::acknowledge(std::uint16_t block, Millis at) {
    Report ack{};
    ack[1] = 'F';
    ack[2] = '+';
    ack[3] = static_cast<std::uint8_t>(block & 0xFF);
    ack[4] = static_cast<std::uint8_t>(block >> 8);
    to_host.push_back({at, ack});
}

void Bootloader::reportdelivered(const Report& report) {
    if (report[1] != 'F' || report[2] != '+') {
        return;
    }
    acknowledged_.insert(blocknumber(report));
    if (faults_.unplug_after && blocknumber(report) == *faults_.unplug_after) {
        unplugged_ = true;
    }
}

int Bootloader::sendings(std::uint16_t block) const {
    auto found = sendings_.find(block);
    return found == sendings_.end() ? 0 : found->second;
}

std::vector<std::uint8_t> Bootloader::fpgaimage() const {
    std::vector<std::uint8_t> stream;
    for (std::uint32_t block = FPGA_FIRST; block <= 0xFFFF && stored_.count(block); ++block) {
        const Block& data = stored_.at(static_cast<std::uint16_t>(block));
        stream.insert(stream.end(), data.begin(), data.end());
    }
    if (stream.size() < 4) {
        return {};
    }
    const std::size_t length = (std::size_t{stream[0]} << 24) | (std::size_t{stream[1]} << 16) |
                               (std::size_t{stream[2]} << 8) | stream[3];
    if (stream.size() < 4 + length) {
        return {};
    }
    return std::vector<std::uint8_t>(stream.begin() + 4, stream.begin() + 4 + length);
}

std::vector<std::uint8_t> Bootloader::mcuimage() const {
    std::vector<std::uint8_t> image;
    for (std::uint16_t block = MCU_FIRST; block < FPGA_FIRST && stored_.count(block); ++block) {
        const Block& data = stored_.at(block);
        image.insert(image.end(), data.begin(), data.end());
    }
    return image;
}

}  // namespace sim
