// Writing and reading single reports, with time-outs and retries.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "protocol/reports.h"

// Each try waits this long for its operation to complete.
constexpr DWORD WRITE_WAIT_MS = 200;
constexpr DWORD READ_WAIT_MS = 2000;
constexpr int REPORT_TRIES = 3;
// At most this many waiting input reports are discarded before a block: more
// than a HID driver queues (Windows keeps 32 by default, Linux's hidraw 64),
// so that a device that never stops talking cannot hold the update here.
constexpr int STALE_REPORTS_MAX = 64;

// An I/O context for overlapped reports: file offset 0, completion signalled
// on `event`.
OVERLAPPED iocontext(HANDLE event);

// Writes one report: 1 when a try completed within its wait, else 0.
// `io` is the caller's I/O context and names `event`, a manual-reset event.
// Whatever the result, no operation is pending on `io` when this returns.
int sendblock(HANDLE device, const std::uint8_t report[REPORT_SIZE], OVERLAPPED* io, HANDLE event);

// Reads one report into `buffer`, which is cleared first: 1 when a try
// completed within its wait, else 0. Whether what arrived is a report the
// caller wanted is the caller's to judge. Nothing is pending on return.
int getresult(HANDLE device, std::uint8_t buffer[REPORT_SIZE], OVERLAPPED* io, HANDLE event);

// Discards the input reports already waiting on `device`: reads until a read
// does not complete at once. The read left pending is cancelled and waited
// for, so nothing is pending on `io` when this returns.
void discardstaleinput(HANDLE device, OVERLAPPED* io, HANDLE event);
