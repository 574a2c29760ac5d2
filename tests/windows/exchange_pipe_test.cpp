// sendblock and getresult against a real overlapped handle: the client end of
// a message-mode named pipe, which like a HID interface moves whole 64-byte
// reports and completes an overlapped read only when one arrives. The peer
// end is driven from a thread of the test. Windows only.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "hid/exchange.h"

namespace {

using Report = std::array<std::uint8_t, REPORT_SIZE>;
using Clock = std::chrono::steady_clock;

Report patterned(std::uint8_t first) {
    Report report;
    for (std::size_t i = 0; i < report.size(); ++i) {
        report[i] = static_cast<std::uint8_t>(first + i);
    }
    return report;
}

long long millisecondssince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A connected pipe pair. `device` is the updater's side, opened as it opens a
// HID interface: CreateFileA with FILE_FLAG_OVERLAPPED. `peer` is the other
// end, used with plain blocking calls from the peer thread. `io` and `event`
// are the caller's I/O context, as the updater sets them up.
class PipePair : public ::testing::Test {
  protected:
    void SetUp() override {
        static int pipes_made = 0;
        const std::string name = "\\\\.\\pipe\\torvik-exchange-test-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(++pipes_made);
        peer = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                REPORT_SIZE * 4, REPORT_SIZE * 4, 0, nullptr);
        ASSERT_NE(peer, INVALID_HANDLE_VALUE) << "CreateNamedPipeA: " << GetLastError();
        device = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(device, INVALID_HANDLE_VALUE) << "CreateFileA: " << GetLastError();
        // The client is already there, so this only confirms the connection.
        if (!ConnectNamedPipe(peer, nullptr)) {
            ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_CONNECTED));
        }
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(event, nullptr) << "CreateEventA: " << GetLastError();
        io = iocontext(event);
    }

    void TearDown() override {
        if (peer_thread.joinable()) {
            peer_thread.join();
        }
        for (HANDLE handle : {device, peer}) {
            if (handle != INVALID_HANDLE_VALUE) {
                CloseHandle(handle);
            }
        }
        if (event != nullptr) {
            CloseHandle(event);
        }
    }

    // The peer writes one report as one message.
    void peerwrites(const Report& report) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(peer, report.data(), REPORT_SIZE, &written, nullptr))
            << "peer WriteFile: " << GetLastError();
        ASSERT_EQ(written, REPORT_SIZE);
    }

    HANDLE peer = INVALID_HANDLE_VALUE;
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED io = {};
    std::thread peer_thread;
};

TEST_F(PipePair, AWriteThatCompletesInItsWaitIsSentOnceAndWhole) {
    const Report report = patterned(0x40);
    Report received{};
    DWORD received_size = 0;
    BOOL read_ok = FALSE;
    peer_thread = std::thread([&] {
        read_ok = ReadFile(peer, received.data(), static_cast<DWORD>(received.size()),
                           &received_size, nullptr);
    });

    EXPECT_EQ(sendblock(device, report.data(), &io, event), 1);

    peer_thread.join();
    ASSERT_TRUE(read_ok);
    EXPECT_EQ(received_size, REPORT_SIZE);
    EXPECT_EQ(received, report);
    // One message: nothing more waits in the pipe.
    DWORD available = 1;
    ASSERT_TRUE(PeekNamedPipe(peer, nullptr, 0, nullptr, &available, nullptr));
    EXPECT_EQ(available, 0u);
}

TEST_F(PipePair, AReadThatNeverCompletesFailsAfterThreeTriesAndLeavesNothingPending) {
    Report buffer = patterned(0x80);
    const Clock::time_point start = Clock::now();

    EXPECT_EQ(getresult(device, buffer.data(), &io, event), 0);

    const long long elapsed = millisecondssince(start);
    EXPECT_GE(elapsed, REPORT_TRIES * static_cast<long long>(READ_WAIT_MS) - 100);
    EXPECT_LT(elapsed, REPORT_TRIES * static_cast<long long>(READ_WAIT_MS) + 3000);
    EXPECT_EQ(buffer, Report{}) << "the buffer is cleared before the reads";

    // The last read is over: asking without waiting gets its end, not
    // "still in progress".
    DWORD transferred = 0;
    if (!GetOverlappedResult(device, &io, &transferred, FALSE)) {
        EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    }

    // The same context and event serve a new read at once. Had an old read
    // still been pending, it would take the peer's report instead.
    Report next{};
    const BOOL finished = ReadFile(device, next.data(), REPORT_SIZE, nullptr, &io);
    ASSERT_TRUE(finished || GetLastError() == ERROR_IO_PENDING) << "ReadFile: " << GetLastError();
    EXPECT_EQ(WaitForSingleObject(event, 200), static_cast<DWORD>(WAIT_TIMEOUT))
        << "nothing has arrived, yet the event is signalled";

    const Report answer = patterned(0x10);
    peerwrites(answer);
    ASSERT_EQ(WaitForSingleObject(event, 2000), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_TRUE(GetOverlappedResult(device, &io, &transferred, TRUE))
        << "GetOverlappedResult: " << GetLastError();
    EXPECT_EQ(transferred, REPORT_SIZE);
    EXPECT_EQ(next, answer);
}

TEST_F(PipePair, AnAnswerAfterTheFirstTryTimedOutIsReadByTheSecond) {
    const Report answer = patterned(0xC0);
    peer_thread = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(READ_WAIT_MS + 500));
        peerwrites(answer);
    });
    Report buffer{};
    const Clock::time_point start = Clock::now();

    EXPECT_EQ(getresult(device, buffer.data(), &io, event), 1);

    EXPECT_GE(millisecondssince(start), static_cast<long long>(READ_WAIT_MS))
        << "the first try cannot have seen the answer";
    EXPECT_EQ(buffer, answer);
}

}  // namespace
