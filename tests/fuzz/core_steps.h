// The steps a host can take against the device core (core_fuzz.cpp,
// control_fuzz.cpp): each an operation byte, its low three bits the step and
// its other five the milliseconds that pass before it, then its operands
// (zeros past the input's end).
//   0 REPORT     64 bytes: a report written as it is
//   1 BLOCK      block number (2), fill, damage: a block's 36 chunk reports
//                and checksum; damage's low six bits pick a chunk (modulo
//                36) that 0x40 flips a byte of, else leaves out (0: intact)
//   2 DELIVER    the host reads the last acknowledgement
//   3 FAULT      kind, block number (2), count (0x80 and up: always), ms
//                (2); a held write's chunk is ms % 36
//   4 START      the device starts over with the faults added so far
//   5 CHUNK      as REPORT, with a chunk report's marker put in
//   6 SETTINGS   ack delay (2), write time (2), unplug, unplug after (2)
//   7 IMAGES     the images are read back from storage
// A run takes at most COSTLY_STEPS_MAX BLOCK and IMAGES steps, so that it
// costs microseconds however long its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "field_input.h"
#include "device/bootloader_core.h"

namespace coresteps {

using namespace devicecore;

constexpr size_t SLOTS = 4;
constexpr int COSTLY_STEPS_MAX = 8;

struct Storage {
    uint16_t numbers[SLOTS];
    uint8_t blocks[SLOTS][BLOCK_BYTES];
    size_t used;
};

// Static, and large: one of each for the process, reset for every run.
inline Storage storage;
inline Faults faults;
inline Bootloader core;
inline uint8_t image[3 * BLOCK_BYTES];

// Storage's reach, for the core's BlockStorage: the one static `storage`.
inline const uint8_t* find(const void*, uint16_t block) {
    for (size_t i = 0; i < storage.used; ++i) {
        if (storage.numbers[i] == block) {
            return storage.blocks[i];
        }
    }
    return nullptr;
}

inline uint8_t* slot(void*, uint16_t block) {
    if (const uint8_t* stored = find(&storage, block)) {
        return const_cast<uint8_t*>(stored);
    }
    if (storage.used == SLOTS) {
        return nullptr;
    }
    storage.numbers[storage.used] = block;
    return storage.blocks[storage.used++];
}

constexpr BlockStorage ACCESS = {&storage, slot, find};

struct Run {
    FieldInput input;
    Millis now;
    uint8_t acknowledgement[REPORT_BYTES];
    int costly_steps;
};

inline Outcome write(Run& run, const uint8_t report[REPORT_BYTES]) {
    const Millis held = core.writeheld(report);
    require(held >= 0 || held == FOREVER);
    const Outcome outcome = core.take(report, run.now);
    // An acknowledgement is due after the chunk that completed its block.
    require(!outcome.acknowledge ||
            (outcome.taken == Taken::STORED && outcome.acknowledge_at >= run.now));
    if (outcome.acknowledge) {
        const uint16_t acknowledged =
            static_cast<uint16_t>(outcome.acknowledgement[3] | (outcome.acknowledgement[4] << 8));
        require(acknowledged == outcome.block ||
                acknowledged == static_cast<uint16_t>(outcome.block - 1));
        std::memcpy(run.acknowledgement, outcome.acknowledgement, REPORT_BYTES);
    }
    return outcome;
}

inline void sendblock(Run& run) {
    const uint16_t block = run.input.word();
    const uint8_t fill = run.input.byte();
    const uint8_t damage = run.input.byte();
    if (++run.costly_steps > COSTLY_STEPS_MAX) {
        return;
    }
    uint8_t frame[FRAME_BYTES] = {};
    for (size_t i = 0; i < BLOCK_BYTES; ++i) {
        frame[i] = static_cast<uint8_t>(fill + i);
    }
    const uint16_t sum = Bootloader::checksum(frame);
    frame[BLOCK_BYTES] = static_cast<uint8_t>(sum & 0xFF);
    frame[BLOCK_BYTES + 1] = static_cast<uint8_t>(sum >> 8);
    const size_t broken = (damage & 0x3F) % CHUNKS;
    const uint8_t low = block & 0xFF;
    const uint8_t high = block >> 8;
    Outcome outcome = {};
    for (size_t chunk = 0; chunk < CHUNKS; ++chunk) {
        uint8_t report[REPORT_BYTES] = {0, 'F', '*', low, high, static_cast<uint8_t>(chunk)};
        std::memcpy(report + 6, frame + chunk * CHUNK_BYTES, CHUNK_BYTES);
        if (damage != 0 && chunk == broken) {
            if ((damage & 0x40) == 0) {
                continue;
            }
            report[6] ^= 0x01;
        }
        outcome = write(run, report);
    }
    // A block sent whole and intact is stored, or refused for want of room.
    if (damage == 0) {
        require(outcome.taken == Taken::STORED || outcome.taken == Taken::NO_ROOM);
        if (outcome.taken == Taken::STORED) {
            const uint8_t* stored = find(&storage, block);
            require(stored != nullptr && std::memcmp(stored, frame, BLOCK_BYTES) == 0);
        }
    }
}

inline void addfault(FieldInput& input) {
    const uint8_t kind = input.byte() % 4;
    const uint16_t block = input.word();
    const uint8_t times = input.byte();
    const int count = times >= 0x80 ? ALWAYS : times;
    const Millis ms = input.word();
    FaultList<BlockFault>* const lists[] = {&faults.no_ack, &faults.wrong_ack, &faults.late_ack};
    if (kind < std::size(lists)) {
        lists[kind]->add({block, count, ms});
    } else {
        faults.held_writes.add(
            {block, static_cast<uint8_t>(ms % CHUNKS), count, ms == 0xFFFF ? FOREVER : ms});
    }
}

inline void runsteps(FieldInput input) {
    storage.used = 0;
    Run run = {input, 0, {}, 0};
    core.start(faults, ACCESS);
    while (!run.input.done()) {
        const uint8_t operation = run.input.byte();
        run.now += operation >> 3;
        switch (operation & 0x07) {
            case 0:
            case 5: {
                uint8_t report[REPORT_BYTES] = {};
                for (uint8_t& byte : report) {
                    byte = run.input.byte();
                }
                if (operation & 0x04) {
                    report[1] = 'F';
                    report[2] = '*';
                }
                write(run, report);
                break;
            }
            case 1:
                sendblock(run);
                break;
            case 2:
                core.delivered(run.acknowledgement);
                break;
            case 3:
                addfault(run.input);
                break;
            case 4:
                core.start(faults, ACCESS);
                break;
            case 6:
                faults.ack_delay_ms = run.input.word();
                faults.write_ms = run.input.word();
                faults.unplug = run.input.byte() & 1;
                faults.unplug_after = run.input.word();
                break;
            default: {
                if (++run.costly_steps > COSTLY_STEPS_MAX) {
                    break;
                }
                // Neither image can be longer than what is stored.
                require(fpgaimage(ACCESS, image, sizeof image) <= sizeof storage.blocks);
                require(mcuimage(ACCESS, image, sizeof image) <= sizeof storage.blocks);
                break;
            }
        }
    }
}

}  // namespace coresteps
