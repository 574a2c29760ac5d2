# What the MinGW-w64 toolchain files share. Each sets CMAKE_SYSTEM_PROCESSOR
# and TORVIK_MINGW_TRIPLET, then includes this file. Debian's "-posix"
# compilers have the posix thread model, which std::thread needs.
# Programs built here run under Wine through cmake/wine-run.sh, which
# CTest and GoogleTest's test discovery use as the emulator.

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TORVIK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TORVIK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TORVIK_MINGW_TRIPLET}-windres)

# Headers and libraries come from the MinGW-w64 sysroot only; build tools
# from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TORVIK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The Wine prefix lives in the build tree, so builds never share one and
# deleting the build directory removes it. cmake/windows_tests.cmake uses
# both names for the tests that call the script themselves.
set(TORVIK_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
set(TORVIK_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(CMAKE_CROSSCOMPILING_EMULATOR "${TORVIK_WINE_RUN}" "--prefix=${TORVIK_WINE_PREFIX}")
