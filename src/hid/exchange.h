// Writing and reading single reports, with time-outs and retries.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "protocol/reports.h"

// Each try waits this long for its operation to complete.
constexpr DWORD WRITE_WAIT_MS = 200;
constexpr DWORD READ_WAIT_MS = 2000;
constexpr int REPORT_TRIES = 3;

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
