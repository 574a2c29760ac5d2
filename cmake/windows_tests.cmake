# The Windows test suite, run under Wine. Included from tests/CMakeLists.txt
# when WIN32, in its directory scope.
#
# Every Windows program here runs through the emulator of the toolchain file
# (cmake/wine-run.sh), which starts Wine's server and services for the
# prefix in the build tree; the fixture's cleanup test shuts them down.

if(NOT TORVIK_WINE_RUN OR NOT TORVIK_WINE_PREFIX)
    message(FATAL_ERROR "The Windows tests run under Wine: configure with a toolchain file "
                        "cmake/mingw-w64-*.cmake (cmake --preset windows or windows32)")
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
    windows/exchange_pipe_test.cpp
    windows/setupapi_records_test.cpp
    windows/resources_test.cpp)
target_link_libraries(torvik_windows_tests PRIVATE torvik_core gtest_main version)
# Wine maps the Unix file system to drive Z:.
target_compile_definitions(torvik_windows_tests PRIVATE
    TORVIKUPDATE_EXE="Z:$<TARGET_FILE:torvikupdate>")
add_dependencies(torvik_windows_tests torvikupdate)

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

# The executable's import table names only DLLs that Windows always takes
# from the system directory.
add_test(NAME torvikupdate_imports_only_system_dlls
         COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${CMAKE_OBJDUMP}"
                 "-DPROGRAM=$<TARGET_FILE:torvikupdate>"
                 -P "${PROJECT_SOURCE_DIR}/cmake/check_imports.cmake")

# Without hid.dll no interface can be identified: the not-found outcome.
add_test(NAME torvikupdate_without_hid_dll_reports_no_torvik
         COMMAND "${CMAKE_COMMAND}"
                 "-DWINE_RUN=${TORVIK_WINE_RUN}"
                 "-DWINE_PREFIX=${TORVIK_WINE_PREFIX}"
                 "-DPROGRAM=$<TARGET_FILE:torvikupdate>"
                 "-DOUTPUT_DIR=${CMAKE_CURRENT_BINARY_DIR}/without_hid"
                 "-DDLL_OVERRIDES=hid=d"
                 -P "${PROJECT_SOURCE_DIR}/cmake/check_no_torvik.cmake")
set_tests_properties(torvikupdate_without_hid_dll_reports_no_torvik PROPERTIES
    FIXTURES_REQUIRED wine TIMEOUT 180)

# A stranger's hid.dll beside the executable, and a program that imports
# hid.dll the usual way to show that Wine would load it.
add_library(planted_hid SHARED windows/planted_hid.cpp)
set_target_properties(planted_hid PROPERTIES OUTPUT_NAME hid PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/planted_dll")
add_executable(import_control windows/import_control.cpp)
target_link_libraries(import_control PRIVATE hid)
add_test(NAME torvikupdate_never_loads_a_planted_hid_dll
         COMMAND "${CMAKE_COMMAND}"
                 "-DWINE_RUN=${TORVIK_WINE_RUN}"
                 "-DWINE_PREFIX=${TORVIK_WINE_PREFIX}"
                 "-DPROGRAM=$<TARGET_FILE:torvikupdate>"
                 "-DPLANTED_DLL=$<TARGET_FILE:planted_hid>"
                 "-DCONTROL=$<TARGET_FILE:import_control>"
                 "-DOUTPUT_DIR=${CMAKE_CURRENT_BINARY_DIR}"
                 -P "${PROJECT_SOURCE_DIR}/cmake/check_planted_hid.cmake")
set_tests_properties(torvikupdate_never_loads_a_planted_hid_dll PROPERTIES
    FIXTURES_REQUIRED wine TIMEOUT 180 SKIP_REGULAR_EXPRESSION "not meaningful")
