#include "protocol/flash2k.h"

#include <cstdio>
#include <cstring>

#include "hid/exchange.h"
#include "protocol/checksum.h"

namespace {

// Sends the frame's chunks in order; 0 as soon as one cannot be written, so
// that the attempt ends without reading.
int sendframe(HANDLE device, const std::uint8_t frame[FRAME_SIZE], std::uint8_t report[REPORT_SIZE],
              OVERLAPPED* io, HANDLE event) {
    for (std::size_t chunk = 0; chunk < CHUNKS_PER_FRAME; ++chunk) {
        setchunk(report, chunk, frame);
        if (!sendblock(device, report, io, event)) {
            return 0;
        }
    }
    return 1;
}

int readacknowledgement(HANDLE device, std::uint16_t block_number, OVERLAPPED* io, HANDLE event) {
    std::uint8_t answer[REPORT_SIZE];
    return getresult(device, answer, io, event) && isacknowledgement(answer, block_number);
}

}  // namespace

void buildframe(std::uint8_t frame[FRAME_SIZE], const std::uint8_t* data, std::size_t length) {
    std::memset(frame, 0, FRAME_SIZE);
    std::memcpy(frame, data, length);
    const std::uint16_t checksum = blockchecksum(frame);
    frame[FRAME_CHECKSUM_OFFSET] = static_cast<std::uint8_t>(checksum & 0xFF);
    frame[FRAME_CHECKSUM_OFFSET + 1] = static_cast<std::uint8_t>(checksum >> 8);
}

int flash2k(HANDLE device, std::uint16_t block_number, const std::uint8_t* data,
            std::size_t length) {
    if (length > BLOCK_SIZE) {
        return 0;
    }
    std::uint8_t frame[FRAME_SIZE];
    buildframe(frame, data, length);
    std::uint8_t report[REPORT_SIZE];
    buildchunkheader(report, block_number);

    // One manual-reset event and one I/O context serve every write and read
    // of this block; sendblock and getresult leave nothing pending on them.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED io = iocontext(event);

    int confirmed = 0;
    for (int attempt = 0; attempt < BLOCK_ATTEMPTS && !confirmed; ++attempt) {
        // An acknowledgement that came after its reads had given up is still
        // queued, and would answer this attempt's read in place of the
        // device's answer to it. A failed attempt sends the whole block
        // again, from chunk 0.
        discardstaleinput(device, &io, event);
        confirmed = sendframe(device, frame, report, &io, event) &&
                    readacknowledgement(device, block_number, &io, event);
    }
    if (event != nullptr) {
        CloseHandle(event);
    }
    if (confirmed) {
        std::fputs(".", stdout);
    }
    return confirmed;
}
