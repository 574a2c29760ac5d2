// The virtual Torvik's reset request: any bytes sent with
// IOCTL_VIRTUAL_TORVIK_RESET go to acceptreset, and an accepted request
// starts the device core with its faults, which then takes the host's steps
// (core_steps.h), where faults let through wrongly are ASan or UBSan
// findings.
//
// The input's first byte says how the request is made:
//   0xFF   the rest of the input, as it is
//   0xFE   no input at all (length 0)
//   N      a Reset's size of zeros with N patches, then the steps. A patch is
//          an offset (2 bytes, modulo the size) and a kind: below 0x80 a
//          length (modulo 17) and that many bytes; else a number from EDGES
//          (index: 1 byte) plus kind & 1, in 8 bytes (kind & 0x40) or 4, low
//          byte first: a short input so sets any field of the 16 KB Reset to
//          a count or a time at or past the bounds.
#include <cstdint>
#include <cstring>
#include <iterator>

#include "core_steps.h"
#include "virtual-torvik/control.h"

namespace {

using namespace devicecore;

constexpr std::uint8_t RAW = 0xFF;
constexpr std::uint8_t EMPTY = 0xFE;
constexpr std::size_t PATCH_MAX = 16;
constexpr std::uint8_t NUMBER_PATCH = 0x80;
constexpr std::uint8_t WIDE_NUMBER = 0x40;
constexpr std::int64_t EDGES[] = {
    0,         1,         2,         1500,      2500,          ALWAYS,          -2,
    INT32_MIN, INT32_MAX, INT64_MIN, INT64_MAX, FAULT_ENTRIES, MAX_FAULT_COUNT, MAX_FAULT_MS};

// Room past the Reset for a patch that starts near its end.
unsigned char request[sizeof(virtualtorvik::Reset) + PATCH_MAX];
virtualtorvik::Reset reset;

void patchrequest(FieldInput& input, std::uint8_t patches) {
    std::memset(request, 0, sizeof request);
    for (; patches > 0; --patches) {
        const std::size_t offset = input.word() % sizeof reset;
        const std::uint8_t kind = input.byte();
        if (kind & NUMBER_PATCH) {
            const auto number =
                static_cast<std::uint64_t>(EDGES[input.byte() % std::size(EDGES)]) + (kind & 1);
            const std::size_t width = (kind & WIDE_NUMBER) ? 8 : 4;
            for (std::size_t i = 0; i < width; ++i) {
                request[offset + i] = static_cast<std::uint8_t>(number >> (8 * i));
            }
            continue;
        }
        for (std::size_t length = kind % (PATCH_MAX + 1), i = 0; i < length; ++i) {
            request[offset + i] = input.byte();
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
        accepted = virtualtorvik::acceptreset(request, sizeof reset, reset);
    }
    if (accepted) {
        coresteps::faults = reset.faults;
        coresteps::runsteps(FieldInput{data + input.at, size - input.at});
    }
    return 0;
}
