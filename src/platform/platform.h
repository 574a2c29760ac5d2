// The program's one view of the operating system.
//
// The updater calls the Windows API by its own names. On Windows those are
// the real functions; everywhere else a stand-in declares the same names and
// types, and the implementation behind them is chosen when linking (the
// simulated HID bus for tests and torvik-sim).
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <setupapi.h>
// MinGW's hidsdi.h has no extern "C" guard of its own.
extern "C" {
#include <hidsdi.h>
}
#else
#include "platform/standin/windows.h"
#endif
