// Input reports of any length as the Linux backend reads them from hidraw
// and the program judges them (getresult, discardstaleinput and
// isacknowledgement over the real ReadFile). The node is one end of a
// SOCK_SEQPACKET pair, which keeps each report whole and cuts a long one as
// hidraw does; the harness is the device. The input is a list of steps:
//   even byte    the device sends a report: a length byte (0 counts as 1),
//                then its bytes
//   odd byte b   the program reads: b & 2 discards what waits first; then a
//                block number (2 bytes), and if a report waits, a getresult
//                judged against it
// The backend waits in real time for a report that is not there, so the
// harness reads only when one waits.
#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <deque>
#include <string>

#include "field_input.h"
#include "hid/exchange.h"
#include "torvik-sim/hidraw_seams.h"
#include "protocol/reports.h"

namespace {

int node = -1;

// The program sees the report ID 0, then the report as far as hidraw's read
// and the program's buffer reach, then the zeros it cleared the buffer to.
// A discard reads what waits, at most 64 reports.
void programreads(FieldInput& input, std::deque<std::string>& queue, HANDLE device, OVERLAPPED* io,
                  HANDLE event, std::uint8_t step) {
    if (step & 2) {
        discardstaleinput(device, io, event);
        queue.erase(queue.begin(), queue.begin() + std::min<std::size_t>(queue.size(), 64));
    }
    const std::uint16_t block = input.word();
    pollfd watched = {node, POLLIN, 0};
    require((poll(&watched, 1, 0) > 0 && (watched.revents & POLLIN)) == !queue.empty());
    if (queue.empty()) {
        return;
    }
    std::uint8_t answer[REPORT_SIZE];
    std::memset(answer, 0xA5, sizeof answer);
    require(getresult(device, answer, io, event) == 1);
    std::uint8_t expected[REPORT_SIZE] = {};
    const std::string& sent = queue.front();
    const std::size_t kept = std::min(sent.size(), REPORT_SIZE - 1);
    std::memcpy(expected + 1, sent.data(), kept);
    queue.pop_front();
    require(std::memcmp(answer, expected, REPORT_SIZE) == 0);
    require(io->InternalHigh == kept + 1);  // the length GetOverlappedResult gives
    // Judged here for what it reads; flash2k_fuzz.cpp checks the verdicts.
    (void)isacknowledgement(answer, block);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::signal(SIGPIPE, SIG_IGN);  // the device's side may be gone; hidraw has no such signal
    hidrawseams::open_node = [](const char*, int) { return node; };
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int ends[2];
    require(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0);
    node = ends[0];
    const int peer = ends[1];
    HANDLE device = CreateFileA("/dev/hidraw0", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    require(device != INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED io = iocontext(event);

    FieldInput input{data, size};
    std::deque<std::string> queue;
    while (!input.done()) {
        const std::uint8_t step = input.byte();
        if ((step & 1) == 0) {
            std::string report = input.field();
            report.resize(std::max<std::size_t>(report.size(), 1));  // 0 bytes: a device gone
            // A full queue drops the report, as hidraw's does.
            if (send(peer, report.data(), report.size(), MSG_DONTWAIT) >= 0) {
                queue.push_back(report);
            }
        } else {
            programreads(input, queue, device, &io, event, step);
        }
    }
    close(peer);
    CloseHandle(event);
    CloseHandle(device);  // closes the node
    return 0;
}
