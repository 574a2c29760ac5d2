// The virtual Torvik's reset request as the driver takes it: any bytes a
// program sends with IOCTL_VIRTUAL_TORVIK_RESET go to acceptreset, and a
// request it accepts starts the device core with those faults, which then
// takes the host's reports (core_steps.h). A check too weak lets through
// faults that the core then trips over, which AddressSanitizer or UBSan
// report (a count or a time that overflows, a bool that is not one).
//
// The input's first byte says how the request is made:
//   0xFF      the rest of the input, as it is and of its length
//   0xFE      no input at all (length 0)
//   N         a Reset's size of zeros with N patches, then the host's
//             steps. A patch is an offset (2 bytes, modulo the size) and a
//             kind: below 0x80 a length (modulo 17) and that many bytes;
//             else a number from EDGES (index: 1 byte) written in 8 bytes
//             (kind & 0x40) or 4, low byte first.
// A Reset is 16 KB, larger than libFuzzer's inputs usually grow, so the
// patches let a short input set any field of it; the numbers let one byte
// change a count or a time into one at or past the bounds.
#include <cstdint>
#include <cstring>
#include <iterator>

#include "core_steps.h"
#include "virtual-torvik/control.h"

namespace {

constexpr std::uint8_t RAW = 0xFF;
constexpr std::uint8_t EMPTY = 0xFE;
constexpr std::size_t PATCH_MAX = 16;
constexpr std::uint8_t NUMBER_PATCH = 0x80;
constexpr std::uint8_t WIDE_NUMBER = 0x40;
constexpr std::int64_t EDGES[] = {0,
                                  1,
                                  2,
                                  1500,
                                  2500,
                                  devicecore::ALWAYS,
                                  -2,
                                  INT32_MIN,
                                  INT32_MAX,
                                  INT64_MIN,
                                  INT64_MAX,
                                  devicecore::FAULT_ENTRIES,
                                  devicecore::FAULT_ENTRIES + 1,
                                  devicecore::MAX_FAULT_COUNT,
                                  devicecore::MAX_FAULT_COUNT + 1,
                                  devicecore::MAX_FAULT_MS,
                                  devicecore::MAX_FAULT_MS + 1};

unsigned char request[sizeof(virtualtorvik::Reset)];
virtualtorvik::Reset reset;

void put(std::size_t offset, std::uint8_t value) {
    if (offset < sizeof request) {
        request[offset] = value;
    }
}

void patchrequest(FieldInput& input, std::uint8_t patches) {
    std::memset(request, 0, sizeof request);
    for (; patches > 0; --patches) {
        const std::size_t offset = input.word() % sizeof request;
        const std::uint8_t kind = input.byte();
        if (kind & NUMBER_PATCH) {
            const auto number = static_cast<std::uint64_t>(EDGES[input.byte() % std::size(EDGES)]);
            const std::size_t width = (kind & WIDE_NUMBER) ? 8 : 4;
            for (std::size_t i = 0; i < width; ++i) {
                put(offset + i, static_cast<std::uint8_t>(number >> (8 * i)));
            }
            continue;
        }
        for (std::size_t length = kind % (PATCH_MAX + 1), i = 0; i < length; ++i) {
            put(offset + i, input.byte());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FieldInput input{data, size};
    const std::uint8_t mode = input.byte();
    if (mode == RAW) {
        virtualtorvik::acceptreset(data + 1, size - 1, reset);
        return 0;
    }
    bool accepted;
    if (mode == EMPTY) {
        accepted = virtualtorvik::acceptreset(nullptr, 0, reset);
        require(accepted);  // the bootloader without faults
    } else {
        patchrequest(input, mode);
        accepted = virtualtorvik::acceptreset(request, sizeof request, reset);
    }
    if (accepted) {
        coresteps::faults = reset.faults;
        coresteps::runsteps(FieldInput{data + input.at, size - input.at});
    }
    return 0;
}
