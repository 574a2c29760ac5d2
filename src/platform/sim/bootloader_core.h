// The Torvik bootloader's side of the protocol, for every stand-in device.
//
// One core serves the simulated bootloader on the simulated bus and the
// virtual Torvik driver that a Windows HID stack loads, so that the two can
// never disagree about what the device accepts. A kernel driver has no C++
// library, no allocation and no exceptions, so neither has this core: fixed
// buffers, plain values, storage supplied by the caller, and nothing that
// needs a constructor to run (a driver's globals get none).
//
// It reads the protocol on its own terms, with its own checksum, so that a
// fault in the updater's framing shows up as a block it refuses.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace devicecore {

using Millis = int64_t;

constexpr size_t REPORT_BYTES = 64;  // report ID first, as the host writes it
// Without report IDs the wire carries 63 bytes each way; the host's HID
// stack puts the report ID 0 in front for programs, which read and write 64.
constexpr size_t REPORT_DATA_BYTES = REPORT_BYTES - 1;
constexpr size_t BLOCK_BYTES = 2048;
constexpr size_t FRAME_BYTES = BLOCK_BYTES + 4;  // block, checksum, two zero bytes
constexpr size_t CHUNK_BYTES = 57;
constexpr size_t CHUNKS = FRAME_BYTES / CHUNK_BYTES;
constexpr uint16_t FPGA_FIRST_BLOCK = 0x1000;
constexpr uint16_t MCU_FIRST_BLOCK = 4;

// The device's string 4: the bootloader's marker, or in normal firmware its
// version. Macros, so that each device can write the literal in the
// characters it needs (u"" BOOTLOADER_STRING4, L"" BOOTLOADER_STRING4).
#define BOOTLOADER_STRING4 "FW-BOOT 1.0"
#define NORMAL_FIRMWARE_STRING4 "Torvik 2.3"

// The device's HID report descriptor: one vendor-defined collection with a
// 63-byte input and a 63-byte output report, no report IDs.
// clang-format off
constexpr uint8_t REPORT_DESCRIPTOR[] = {
    0x06, 0x00, 0xFF,         // usage page: vendor-defined 0xFF00
    0x09, 0x01,               // usage 1
    0xA1, 0x01,               // collection: application
    0x15, 0x00,               //   logical minimum 0
    0x26, 0xFF, 0x00,         //   logical maximum 255
    0x75, 0x08,               //   report size: 8 bits
    0x95, REPORT_DATA_BYTES,  //   report count: 63
    0x09, 0x02,               //   usage 2
    0x81, 0x02,               //   input: data, variable, absolute
    0x95, REPORT_DATA_BYTES,  //   report count: 63
    0x09, 0x03,               //   usage 3
    0x91, 0x02,               //   output: data, variable, absolute
    0xC0,                     // end collection
};
// clang-format on

// A fault's count: how many sendings or writes it affects, or all of them.
constexpr int ALWAYS = -1;
// A write held this long is never taken: it ends only when cancelled.
constexpr Millis FOREVER = -1;
constexpr size_t FAULT_ENTRIES = 256;
// The largest count and time a fault option sets (tools/option_values.h
// takes them from here). Faults can come from outside the program, through
// the virtual Torvik's control device: faultsvalid() holds them to these.
constexpr int MAX_FAULT_COUNT = 1000000;
constexpr Millis MAX_FAULT_MS = 86400000;  // a day

struct BlockFault {
    uint16_t block;
    int count;
    Millis ms;  // late acknowledgements only: the delay after the last chunk
};

struct WriteHold {
    uint16_t block;
    uint8_t chunk;
    int count;
    Millis ms;  // how long the write is held before the device takes it
};

template <typename Entry>
struct FaultList {
    Entry entries[FAULT_ENTRIES];
    size_t used;

    bool add(const Entry& entry) {
        if (used >= FAULT_ENTRIES) {
            return false;
        }
        entries[used++] = entry;
        return true;
    }

    // The entries in use, never past the array, whatever `used` says.
    size_t inuse() const {
        return used < FAULT_ENTRIES ? used : FAULT_ENTRIES;
    }
};

// Zero-filled, this is a device without faults. It holds no pointers, so it
// can cross from a program to a driver as it is.
struct Faults {
    FaultList<BlockFault> no_ack;     // complete sendings left unanswered
    FaultList<BlockFault> wrong_ack;  // answered with the previous block's number
    FaultList<BlockFault> late_ack;   // answered `ms` after the last chunk
    FaultList<WriteHold> held_writes;
    Millis ack_delay_ms;
    Millis write_ms;
    bool unplug;  // gone once the acknowledgement of `unplug_after` is read
    uint16_t unplug_after;
};

// Whether every fault lies within what the fault options set: each list's
// `used` within FAULT_ENTRIES, each count ALWAYS or 0 to MAX_FAULT_COUNT,
// each time 0 to MAX_FAULT_MS (a held write's also FOREVER), each held
// chunk one of a block's, and `unplug` a bool's 0 or 1. Only such faults may
// reach start() from a caller the device does not trust.
bool faultsvalid(const Faults& faults);

// Where stored blocks go: the caller's memory, found by block number.
struct BlockStorage {
    void* context;
    // Room for the block, or nullptr when there is none for that number.
    uint8_t* (*slot)(void* context, uint16_t block_number);
    // The stored block, or nullptr when it was never stored.
    const uint8_t* (*find)(const void* context, uint16_t block_number);
};

enum class Taken {
    OTHER,      // not a chunk report: the device ignores it
    CHUNK,      // a chunk in order, the frame not yet complete
    DROPPED,    // a chunk out of order: the block being assembled is dropped
    BAD_FRAME,  // a complete frame with a wrong checksum or trailing bytes
    STORED,     // a complete, intact frame: the block is stored
    NO_ROOM,    // an intact frame for a block the storage has no room for
    RESTART,    // the restart report
};

struct Outcome {
    Taken taken;
    uint16_t block;  // for every complete frame
    bool acknowledge;
    Millis acknowledge_at;
    uint8_t acknowledgement[REPORT_BYTES];
};

class Bootloader {
  public:
    // Begins as a device just switched on, with these faults. Every member
    // is set here: a driver's state is raw memory until this runs.
    void start(const Faults& faults, BlockStorage storage);

    // How long the device holds the write of `report` before it takes it:
    // 0 for at once, FOREVER for never.
    Millis writeheld(const uint8_t report[REPORT_BYTES]);

    // The device takes a written report at `now`.
    Outcome take(const uint8_t report[REPORT_BYTES], Millis now);

    // The host has read this input report.
    void delivered(const uint8_t report[REPORT_BYTES]);

    bool unplugged() const {
        return unplugged_;
    }
    bool restarted() const {
        return restarted_;
    }
    int badframes() const {
        return bad_frames_;
    }
    int outoforder() const {
        return out_of_order_;
    }

    // The device's checksum of a block's data.
    static uint16_t checksum(const uint8_t data[BLOCK_BYTES]);

  private:
    void framecomplete(uint16_t block, Millis now, Outcome& outcome);

    Faults faults_;
    BlockStorage storage_;
    bool assembling_;
    uint16_t assembling_block_;
    size_t next_chunk_;
    uint8_t frame_[FRAME_BYTES];
    int bad_frames_;
    int out_of_order_;
    bool restarted_;
    bool unplugged_;
};

// The FPGA image as stored: the blocks from FPGA_FIRST_BLOCK on, without the
// length field, cut to that length. Returns the image's length (0 if the
// stored blocks do not reach it) and copies at most `capacity` bytes of it.
size_t fpgaimage(const BlockStorage& storage, uint8_t* image, size_t capacity);

// The MCU image as stored: the blocks from MCU_FIRST_BLOCK on, while they
// follow on. Returns its length and copies at most `capacity` bytes of it.
size_t mcuimage(const BlockStorage& storage, uint8_t* image, size_t capacity);

}  // namespace devicecore
