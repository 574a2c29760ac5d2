# Cross-compiling for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix). The rest is in cmake/mingw-w64-common.cmake.

set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TORVIK_MINGW_TRIPLET x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
