#include "hid/exchange.h"

#include <cstring>

namespace {

enum Direction { TO_DEVICE, FROM_DEVICE };

// Starts the overlapped write or read. Returns whether an operation now
// exists on `io`, finished or pending; false when the call failed at once.
bool startoperation(HANDLE device, Direction direction, std::uint8_t* buffer, OVERLAPPED* io) {
    const BOOL finished = direction == TO_DEVICE
                              ? WriteFile(device, buffer, REPORT_SIZE, nullptr, io)
                              : ReadFile(device, buffer, REPORT_SIZE, nullptr, io);
    return finished || GetLastError() == ERROR_IO_PENDING;
}

// An operation that outlived its wait still owns the caller's buffer, I/O
// context and event, and the caller reuses them at once. Cancelling only asks
// for the end; waiting for the result is what makes sure it has come. An
// operation that completed before the cancel took hold has done its work and
// counts as completed.
int endtimedoutoperation(HANDLE device, OVERLAPPED* io) {
    CancelIoEx(device, io);
    DWORD transferred = 0;
    if (GetOverlappedResult(device, io, &transferred, TRUE)) {
        return 1;
    }
    return GetLastError() != ERROR_OPERATION_ABORTED;
}

// Clears the event and starts the operation, as every operation here starts.
bool startclean(HANDLE device, Direction direction, std::uint8_t* buffer, OVERLAPPED* io,
                HANDLE event) {
    // A call that fails at once leaves the event as it was; reset it here so
    // that the signal of an earlier operation never passes for this one.
    ResetEvent(event);
    if (direction == FROM_DEVICE) {
        // A read can complete without delivering a report; then the buffer
        // must not still hold an earlier report.
        std::memset(buffer, 0, REPORT_SIZE);
    }
    return startoperation(device, direction, buffer, io);
}

int trycompletes(HANDLE device, Direction direction, std::uint8_t* buffer, OVERLAPPED* io,
                 HANDLE event, DWORD wait_ms) {
    const bool started = startclean(device, direction, buffer, io, event);
    if (WaitForSingleObject(event, wait_ms) == WAIT_OBJECT_0) {
        return 1;
    }
    return started ? endtimedoutoperation(device, io) : 0;
}

int exchangereport(HANDLE device, Direction direction, std::uint8_t* buffer, OVERLAPPED* io,
                   HANDLE event, DWORD wait_ms) {
    // Without an event no completion can be seen, and an operation could not
    // be tracked to its end: start none.
    if (event == nullptr) {
        return 0;
    }
    for (int attempt = 0; attempt < REPORT_TRIES; ++attempt) {
        if (trycompletes(device, direction, buffer, io, event, wait_ms)) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

OVERLAPPED iocontext(HANDLE event) {
    OVERLAPPED io = {};
    io.Offset = 0;
    io.OffsetHigh = 0;
    io.hEvent = event;
    return io;
}

int sendblock(HANDLE device, const std::uint8_t report[REPORT_SIZE], OVERLAPPED* io, HANDLE event) {
    // WriteFile only reads the buffer; the cast lets one path serve both ways.
    return exchangereport(device, TO_DEVICE, const_cast<std::uint8_t*>(report), io, event,
                          WRITE_WAIT_MS);
}

int getresult(HANDLE device, std::uint8_t buffer[REPORT_SIZE], OVERLAPPED* io, HANDLE event) {
    return exchangereport(device, FROM_DEVICE, buffer, io, event, READ_WAIT_MS);
}

void discardstaleinput(HANDLE device, OVERLAPPED* io, HANDLE event) {
    if (event == nullptr) {
        return;
    }
    // HidD_FlushQueue would do this in one call, but not every HID stack
    // supports it (Wine's refuses it), and a Linux backend has no such call.
    // A read that completes at once found a report already queued: the
    // driver's queue is empty once a read has to wait.
    std::uint8_t discarded[REPORT_SIZE];
    for (int report = 0; report < STALE_REPORTS_MAX; ++report) {
        if (!startclean(device, FROM_DEVICE, discarded, io, event)) {
            return;
        }
        if (WaitForSingleObject(event, 0) != WAIT_OBJECT_0) {
            endtimedoutoperation(device, io);
            return;
        }
        DWORD transferred = 0;
        if (!GetOverlappedResult(device, io, &transferred, FALSE)) {
            return;  // it ended with an error: no report was waiting
        }
    }
}
