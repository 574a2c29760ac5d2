# Cross-compiling for 32-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-i686-posix). The rest is in cmake/mingw-w64-common.cmake.
# Its programs run under Wine's 32-bit side (Debian's wine32:i386).

set(CMAKE_SYSTEM_PROCESSOR i686)
set(TORVIK_MINGW_TRIPLET i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
