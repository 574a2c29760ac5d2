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

# The protocol code as MinGW builds it, the SetupAPI records' sizes and the
# executable's resources. The updater's overlapped I/O against Windows' own
# is what the virtual Torvik's whole runs below test, with real waits; on its
# own it is tested on the simulated bus's virtual clock.
add_executable(torvik_windows_tests
    protocol_test.cpp
    windows/setupapi_records_test.cpp
    windows/resources_test.cpp)
target_link_libraries(torvik_windows_tests PRIVATE torvik_core gtest_main version)
# Wine maps the Unix file system to drive Z:.
target_compile_definitions(torvik_windows_tests PRIVATE
    TORVIKUPDATE_EXE="Z:$<TARGET_FILE:torvikupdate>"
    TORVIK_FIRMWARE_TEXT="Z:${TORVIK_FIRMWARE_TEXT}")
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

# A prefix left by another Wine installation (wine32 added, Wine upgraded)
# is made anew, not left to fail every program; in a prefix of its own.
add_test(NAME wine_prefix_of_another_installation_is_made_anew
         COMMAND "${CMAKE_COMMAND}"
                 "-DWINE_RUN=${TORVIK_WINE_RUN}"
                 "-DWINE_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-stale"
                 "-DPROGRAM=$<TARGET_FILE:torvikupdate>"
                 "-DOUTPUT_DIR=${CMAKE_CURRENT_BINARY_DIR}/stale_prefix"
                 -P "${PROJECT_SOURCE_DIR}/cmake/check_stale_prefix.cmake")
set_tests_properties(wine_prefix_of_another_installation_is_made_anew PROPERTIES TIMEOUT 300)

# "Update Torvik.exe" (launcher/) imports only system DLLs as well.
add_test(NAME update_torvik_imports_only_system_dlls
         COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${CMAKE_OBJDUMP}"
                 "-DPROGRAM=$<TARGET_FILE:update-torvik>"
                 -P "${PROJECT_SOURCE_DIR}/cmake/check_imports.cmake")

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

# torvikupdate.exe end to end through Wine's SetupAPI, hid.dll and hidclass,
# against the virtual Torvik (tools/virtual-torvik) in a Wine prefix of its
# own. The runs share the one device, so they take turns; waits are real.
# The drivers, their installer and the control program are 64-bit, as the
# driver's INF is: a 32-bit build's program runs against the 64-bit build's
# (TORVIK_VIRTUAL_TORVIK_BUILD, the windows preset's tree) in a 64-bit
# prefix, as 64-bit Windows runs a 32-bit program.
set(TORVIK_VIRTUAL_TORVIK_BUILD "" CACHE PATH
    "The 64-bit build tree whose virtual Torvik a 32-bit build's program runs against")
if(TARGET virtual-torvik-control)
    set(virtual_torvik_build "${CMAKE_BINARY_DIR}")
else()
    set(virtual_torvik_build "${TORVIK_VIRTUAL_TORVIK_BUILD}")
endif()
if(virtual_torvik_build)
    set(virtual_torvik_run "${PROJECT_SOURCE_DIR}/tools/virtual-torvik/run-under-wine.sh")
    set(virtual_torvik_prefix "${CMAKE_BINARY_DIR}/wineprefix-virtual-torvik")
    add_test(NAME virtual_torvik_shutdown
             COMMAND "${virtual_torvik_run}" "--prefix=${virtual_torvik_prefix}" --stop)
    set_tests_properties(virtual_torvik_shutdown PROPERTIES FIXTURES_CLEANUP virtual_torvik)

    # The program's cases, for either build: name|settings for
    # check_virtual_torvik.cmake|...
    set(virtual_torvik_runs
        "whole_update_stores_the_built_in_images|-DSAVE=ON"
        "missing_ack_is_retried|-DOPTIONS=--no-ack=6:1|-DEXTRA_SENDINGS=1|-DMIN_ELAPSED=6000"
        # The acknowledgement of the first sending comes 8 s after it, 2 s
        # after its three reads gave up (at 6.5 s a busy machine's third read
        # was still waiting and took it); the second sending is acknowledged
        # at once. The late one comes while later blocks go out and is
        # discarded before one of them, unless it was still on its way
        # through Wine's HID stack when the discarding read looked: then a
        # read passes over it, or that block is sent once more. Without the
        # discarding every block after would be sent twice.
        "late_ack_is_discarded_before_the_next_block|-DOPTIONS=--late-ack=0x1000:8000|-DEXTRA_SENDINGS=1|-DEXTRA_READS=1|-DRACE_ALLOWANCE=1|-DMIN_ELAPSED=8000"
        "wrong_ack_is_not_taken_for_the_block|-DOPTIONS=--wrong-ack=0x1005:1|-DEXTRA_SENDINGS=1|-DEXTRA_READS=1"
        "held_write_is_waited_for_not_sent_again|-DOPTIONS=--hold-write=0x1002:5:1500|-DMIN_ELAPSED=1500"
        "device_gone_after_block_0x1010_fails_the_fpga_phase|-DOPTIONS=--unplug-after=0x1010|-DFAILED_AFTER=17"
        # The marker read reaches the device through the collection driver
        # (one string read), and the normal firmware's string is turned down.
        "normal_firmware_is_read_and_left_alone|-DOPTIONS=--device=normal|-DNOT_FOUND=ON"
        "no_device_reports_no_torvik|-DOPTIONS=--device=none|-DNOT_FOUND=ON|-DSTRINGS=0")
    # The device's own cases, the same whatever program runs: with the
    # 64-bit build only.
    if(TARGET virtual-torvik-control)
        list(APPEND virtual_torvik_runs
            # Resets that no option makes, sent through the control device
            # after the real one: each is refused, and the device serves as
            # reset.
            "hostile_resets_are_refused_and_the_device_still_serves|-DOPTIONS=--check-refusals"
            # Removed while a write is held for 30 s and hidclass's read
            # waits: the removal ends both at once. Were either left pending,
            # Wine's removal would wait for it, and give up after 10 s with
            # the driver's host hung.
            "removal_ends_the_held_requests_at_once|-DOPTIONS=--hold-write=0x1000:0:30000,--remove-after=1000|-DFAILED_AFTER=0|-DSTRINGS=1|-DMAX_REMOVAL=3000")
    endif()
    foreach(entry IN LISTS virtual_torvik_runs)
        string(REPLACE "|" ";" fields "${entry}")
        list(POP_FRONT fields name)
        add_test(NAME "virtual_torvik.${name}"
                 COMMAND "${CMAKE_COMMAND}"
                         "-DRUN=${virtual_torvik_run}"
                         "-DBUILD_DIR=${virtual_torvik_build}"
                         "-DEXE=$<TARGET_FILE:torvikupdate>"
                         "-DPREFIX=${virtual_torvik_prefix}"
                         "-DOUTPUT_DIR=${CMAKE_CURRENT_BINARY_DIR}/virtual_torvik/${name}"
                         "-DFPGA_IMAGE=${TORVIK_FPGA_IMAGE}"
                         "-DMCU_IMAGE=${TORVIK_MCU_IMAGE}"
                         ${fields}
                         -P "${PROJECT_SOURCE_DIR}/cmake/check_virtual_torvik.cmake")
        set_tests_properties("virtual_torvik.${name}" PROPERTIES
            FIXTURES_REQUIRED virtual_torvik RESOURCE_LOCK virtual_torvik TIMEOUT 180)
    endforeach()
    include("${PROJECT_SOURCE_DIR}/cmake/window_tests.cmake")
endif()
