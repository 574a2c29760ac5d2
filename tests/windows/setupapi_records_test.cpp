// The sizes of the SetupAPI records as the header we compile against declares
// them. The updater writes sizeof into their cbSize fields, and SetupAPI
// refuses a record whose cbSize is not the size Windows itself was built
// with: 8 and 32 bytes in 64-bit programs, 5 and 28 in 32-bit ones, where
// setupapi.h packs its records to one byte. A header that declared anything
// else would make every search for the Torvik fail on a real system, while
// the simulated bus, which checks against the same header, would not notice.
//
// The check is made by the compiler, so every Windows build makes it: the
// 32-bit suite is built wherever the 64-bit one runs, but runs only where
// Wine can run 32-bit programs.
#include <cstddef>

#include "platform/platform.h"

namespace {

constexpr bool WIN64_PROGRAM = sizeof(void*) == 8;

static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (WIN64_PROGRAM ? 8 : 5),
              "setupapi.h declares SP_DEVICE_INTERFACE_DETAIL_DATA_A with a size that "
              "SetupDiGetDeviceInterfaceDetailA refuses in cbSize");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == (WIN64_PROGRAM ? 32 : 28),
              "setupapi.h declares SP_DEVICE_INTERFACE_DATA with a size that "
              "SetupDiEnumDeviceInterfaces refuses in cbSize");

}  // namespace
