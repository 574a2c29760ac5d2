# The Windows test suite, run under Wine. Included from tests/CMakeLists.txt
# when WIN32, in its directory scope.
#
# Every Windows program here runs through the emulator of the toolchain file
# (cmake/wine-run.sh), which starts Wine's server and services for the
# prefix in the build tree; the fixture's cleanup test shuts them down.

if(NOT TORVIK_WINE_RUN OR NOT TORVIK_WINE_PREFIX)
    message(FATAL_ERROR "The Windows tests run under Wine: configure with the toolchain file "
                        "cmake/mingw-w64-x86_64.cmake (cmake --preset windows)")
endif()

# GoogleTest built for Windows from Debian's source package (googletest).
set(TORVIK_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
    "GoogleTest sources built for the Windows tests (Debian package googletest)")
if(NOT EXISTS "${TORVIK_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "No GoogleTest sources in ${TORVIK_GOOGLETEST_SOURCE_DIR}: "
                        "install Debian's googletest package")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory("${TORVIK_GOOGLETEST_SOURCE_DIR}" googletest EXCLUDE_FROM_ALL)

# The updater's Windows API use at a real overlapped handle, and its
# platform-independent protocol code.
add_executable(torvik_windows_tests
    protocol_test.cpp
    windows/exchange_pipe_test.cpp)
target_link_libraries(torvik_windows_tests PRIVATE torvik_core gtest_main)

# Wine's server and services, started by the emulator when first needed,
# stop after the last test that needed them.
add_test(NAME wine_shutdown COMMAND "${TORVIK_WINE_RUN}" "--prefix=${TORVIK_WINE_PREFIX}" --stop)
set_tests_properties(wine_shutdown PROPERTIES FIXTURES_CLEANUP wine)

# Discovery runs the test program under Wine (through the emulator) when
# CTest starts; the first run also creates the Wine prefix, hence the long
# time-out.
gtest_discover_tests(torvik_windows_tests
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 180
    PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)

# The program itself, where there is no Torvik: only Wine's virtual keyboard
# and mouse.
add_test(NAME torvikupdate_reports_no_torvik
         COMMAND "${CMAKE_COMMAND}"
                 "-DWINE_RUN=${TORVIK_WINE_RUN}"
                 "-DWINE_PREFIX=${TORVIK_WINE_PREFIX}"
                 "-DPROGRAM=$<TARGET_FILE:torvikupdate>"
                 "-DOUTPUT_DIR=${CMAKE_CURRENT_BINARY_DIR}"
                 -P "${PROJECT_SOURCE_DIR}/cmake/check_no_torvik.cmake")
set_tests_properties(torvikupdate_reports_no_torvik PROPERTIES
    FIXTURES_REQUIRED wine TIMEOUT 180)
