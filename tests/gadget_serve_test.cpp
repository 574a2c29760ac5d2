// torvik-gadget's serving loop on a socket pair in place of /dev/hidgN. A
// socket takes every write at once and says POLLOUT again straight away, as
// dummy_hcd's one-report FIFO does: "delivered" there says nothing about the
// host having read the report.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <memory>

#include "block_reports.h"
#include "torvik-gadget/serve.h"

namespace {

int device_end = -1;
bool unplugged = false;
bool host_report_unread_at_unplug = false;

// Ends the serving loop: the signal is let through only while it waits.
void unplugandstop() {
    unplugged = true;
    pollfd device{device_end, POLLIN, 0};
    host_report_unread_at_unplug = poll(&device, 1, 0) == 1;
    raise(SIGUSR1);
}

void nothing(int) {}

TEST(GadgetServe, UnplugsOnlyOnceTheHostSendsAgainAfterTheAcknowledgement) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    const int host = ends[0];
    device_end = ends[1];
    // The host's whole part is written up front: block 0x1010, then the first
    // chunk of the next block, which it sends only after reading the
    // acknowledgement.
    std::vector<Report> sent = blockreports(0x1010);
    sent.push_back(blockreports(0x1011)[0]);
    for (const Report& report : sent) {
        ASSERT_EQ(write(host, report.data() + 1, devicecore::REPORT_DATA_BYTES),
                  static_cast<ssize_t>(devicecore::REPORT_DATA_BYTES));
    }

    struct sigaction action {};
    action.sa_handler = nothing;
    sigaction(SIGUSR1, &action, nullptr);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGUSR1);
    sigset_t waiting;
    sigprocmask(SIG_BLOCK, &stop, &waiting);
    // Were the device never to go, serve() would wait until CTest's time limit.
    auto settings = std::make_unique<ServeSettings>();
    settings->bootloader = true;
    settings->faults.unplug = true;
    settings->faults.unplug_after = 0x1010;
    settings->stall_after = -1;
    StoredBlocks stored;
    const ServeCounts counts = serve(device_end, *settings, waiting, unplugandstop, stored);
    sigprocmask(SIG_SETMASK, &waiting, nullptr);

    EXPECT_TRUE(unplugged);
    EXPECT_FALSE(host_report_unread_at_unplug);
    EXPECT_EQ(counts.taken, static_cast<long>(sent.size()));
    EXPECT_EQ(counts.delivered, 1);
    EXPECT_EQ(stored.count(0x1010), 1u);
    close(host);
    close(device_end);
}

}  // namespace
